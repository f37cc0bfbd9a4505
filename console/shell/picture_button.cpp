#include "console/shell/picture_button.h"

#include "console/shell/pictures.h"
#include "console/shell/text_fit.h"

#include <QEvent>
#include <QMouseEvent>

namespace console {

PictureButton::PictureButton(QWidget* window, const QString& imageName, const QString& labelName,
                             bool wide, const QRect& geometry)
    : QObject(window), m_image(new QLabel(window)), m_label(new QLabel(window)),
      m_normalKey(wide ? QStringLiteral("btn6w") : QStringLiteral("btn4w")),
      m_focusKey(m_normalKey + QStringLiteral("focus")) {
    m_image->setObjectName(imageName);
    m_label->setObjectName(labelName);
    m_image->setGeometry(geometry);
    m_label->setGeometry(geometry);
    m_image->setScaledContents(true);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setAttribute(Qt::WA_TranslucentBackground);
    m_label->setCursor(Qt::PointingHandCursor);
    for (QLabel* part : {m_image, m_label}) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
    showNormal();
}

void PictureButton::setCaption(const QString& caption) {
    if (m_label->text() != caption) {
        m_label->setText(caption);
        fitLabelFont(m_label);
    }
}

void PictureButton::showFocus() {
    m_focus = true;
    m_image->setPixmap(picture(m_focusKey));
}

void PictureButton::showNormal() {
    m_focus = false;
    m_image->setPixmap(picture(m_normalKey));
}

bool PictureButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_image && watched != m_label) {
        return false;
    }
    if (event->type() == QEvent::MouseMove) {
        showFocus();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit clicked();
        return true;
    }
    return false;
}

bool overBackground(const QWidget* window, const QPoint& pos) {
    return window->childAt(pos) == nullptr;
}

} // namespace console
