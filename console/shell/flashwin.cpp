#include "console/shell/flashwin.h"

#include "console/shell/twips.h"

#include <QLabel>

namespace console {

flashwin::flashwin() : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("flashwin"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(pixels(5400), pixels(1500));
    setStyleSheet(QStringLiteral("background: rgb(238, 249, 253);"));
    m_tiplabel = new QLabel(this);
    m_tiplabel->setObjectName(QStringLiteral("tiplabel"));
    m_tiplabel->setGeometry(rect());
    m_tiplabel->setAlignment(Qt::AlignCenter);
}

} // namespace console
