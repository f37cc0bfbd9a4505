#pragma once

#include <QDialog>

class QListWidget;
class QListWidgetItem;

namespace console {

class PictureButton;

// The chooser of the history viewer: the attack logs of log/. Loaded each
// time it is shown, unloaded when it closes.
class logselWin : public QDialog {
    Q_OBJECT
public:
    logselWin();

    // Lists the attack-log files of log/.
    void loadlogflist();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void logfilelist_DblClick(QListWidgetItem* item);
    void cancelBtn_Click();

    QListWidget* m_logfilelist = nullptr;
    PictureButton* m_cancel = nullptr;
};

} // namespace console
