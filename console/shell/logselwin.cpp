#include "console/shell/logselwin.h"

#include "console/shell/historywin.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/wait_cursor.h"
#include "console/shell/windows.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>

namespace console {

logselWin::logselWin() {
    setObjectName(QStringLiteral("logselWin"));
    setWindowTitle(QStringLiteral("Log File List"));
    setFixedSize(300, 320);
    setMouseTracking(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(238, 249, 253));
    setPalette(colours);
    setAutoFillBackground(true);

    m_logfilelist = new QListWidget(this);
    m_logfilelist->setObjectName(QStringLiteral("logfilelist"));
    m_logfilelist->setGeometry(10, 10, 280, 260);
    m_logfilelist->viewport()->setMouseTracking(true);
    m_logfilelist->viewport()->installEventFilter(this);
    connect(m_logfilelist, &QListWidget::itemDoubleClicked, this, &logselWin::logfilelist_DblClick);

    m_cancel = new PictureButton(this, QStringLiteral("cancelBtn"), QStringLiteral("cancelLabel"),
                                 false, QRect(114, 284, 72, 22));
    m_cancel->setCaption(QStringLiteral("Close"));
    connect(m_cancel, &PictureButton::clicked, this, &logselWin::cancelBtn_Click);
    loadlogflist();
}

// The names are shown sorted: the folder listing of this platform has no
// order of its own, and dated names then read oldest first.
void logselWin::loadlogflist() {
    WaitCursor hourglass(this);
    const QDir folder(module().appFolder + QStringLiteral("log"));
    const QStringList files = folder.entryList(QDir::Files, QDir::Name);
    if (files.isEmpty()) {
        return;
    }
    m_logfilelist->clear();
    for (const QString& name : files) {
        if (name.startsWith(QLatin1String("attack"), Qt::CaseSensitive)) {
            m_logfilelist->addItem(name);
        }
    }
}

void logselWin::logfilelist_DblClick(QListWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    historywin& history = console::window<historywin>();
    history.logfilename_now = item->text();
    if (auto* tip = history.findChild<QLabel*>(QStringLiteral("nowlogfTip"))) {
        tip->setText(QStringLiteral("Now: ") + item->text());
    }
    history.showlogs();
    unload<logselWin>();
}

void logselWin::cancelBtn_Click() {
    unload<logselWin>();
}

void logselWin::mouseMoveEvent(QMouseEvent* event) {
    if (overBackground(this, event->position().toPoint())) {
        m_cancel->showNormal();
    }
    QDialog::mouseMoveEvent(event);
}

bool logselWin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_logfilelist->viewport() && event->type() == QEvent::MouseMove) {
        m_cancel->showNormal();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace console
