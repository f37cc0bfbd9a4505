#pragma once

#include <QLabel>
#include <QObject>
#include <QString>

namespace console {

// A picture with a transparent caption over it. The pointer over either
// shows the focus picture; the window puts the normal one back when the
// pointer moves over its own background (see overBackground).
class PictureButton : public QObject {
    Q_OBJECT
public:
    // Names the picture "<name>btn"-style as the window gives them; wide
    // buttons use "btn6w", narrow ones "btn4w".
    PictureButton(QWidget* window, const QString& imageName, const QString& labelName, bool wide,
                  const QRect& geometry);

    QLabel* image() const { return m_image; }
    QLabel* label() const { return m_label; }
    void setCaption(const QString& caption);
    void showFocus();
    void showNormal();
    bool hasFocusPicture() const { return m_focus; }

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_image;
    QLabel* m_label;
    QString m_normalKey;
    QString m_focusKey;
    bool m_focus = false;
};

// True when pos (in window coordinates) is over the window's own surface,
// not over one of its controls.
bool overBackground(const QWidget* window, const QPoint& pos);

} // namespace console
