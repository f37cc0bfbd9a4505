#include "console/shell/restartwin.h"

#include "console/shell/language.h"
#include "console/shell/module.h"
#include "console/shell/twips.h"

#include <QLabel>
#include <QTimer>

namespace console {
namespace {

constexpr int kDelay = 1000;

} // namespace

restartwin::restartwin(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_tiplabel(new QLabel(this)), m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("restartwin"));
    setWindowTitle(consoleTitle());
    setFixedSize(pixels(4800), pixels(1200));
    m_tiplabel->setObjectName(QStringLiteral("tiplabel"));
    m_tiplabel->setGeometry(rect());
    m_tiplabel->setAlignment(Qt::AlignCenter);
    m_tiplabel->setText(QStringLiteral("Restarting Ostrum now..."));
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setInterval(kDelay);
    connect(m_timer, &QTimer::timeout, this, &restartwin::restart);
    m_timer->start();
}

// The thread is blocked while the service stops and starts: each text is
// drawn at once, not at the next turn of the event loop.
void restartwin::restart() {
    m_timer->stop();
    setEnabled(false);
    m_tiplabel->setText(QStringLiteral("Stopping Ostrum now ..."));
    m_tiplabel->repaint();
    stopServiceAndWait(kServiceName);
    m_tiplabel->setText(QStringLiteral("Starting Ostrum now ..."));
    m_tiplabel->repaint();
    startServiceAndWait(kServiceName);
    m_tiplabel->clear();
    accept();
}

void showRestartDialog(QWidget* owner) {
    restartwin dialog(owner);
    dialog.exec();
}

} // namespace console
