#include "console/shell/switching.h"

#include "console/editors/advanced.h"
#include "console/shell/console_trace.h"
#include "console/shell/historywin.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/proinfowin.h"
#include "console/shell/referwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/tray.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"

#include <QCloseEvent>

namespace console {

QWidget& mainWindow(MainWindow which) {
    switch (which) {
    case MainWindow::History:
        return window<historywin>();
    case MainWindow::Setting:
        return window<settingwin>();
    case MainWindow::ProInfo:
        return window<proinfowin>();
    case MainWindow::Status:
        break;
    }
    return window<mainwin>();
}

void switchMainWindow(QWidget* current, MainWindow target) {
    referWin& refer = window<referWin>();
    refer.move(current->pos());
    QWidget& next = mainWindow(target);
    if (&next == current) {
        return;
    }
    next.move(refer.pos());
    next.show();
    next.raise();
    next.activateWindow();
    current->hide();
}

void openAdvanced(QWidget* current) {
    module().advancedOwner = current;
    showAdvancedWindow(AdvancedWindow::AttackRules, current);
}

void closeToTray(QWidget* w, QCloseEvent* event) {
    Module& m = module();
    if (m.quitting) {
        event->accept();
        return;
    }
    event->ignore();
    if (!trayAvailable()) {
        window<mainwin>().quit(w);
        return;
    }
    w->hide();
    m.windowHidden = true;
    m.hiddenForm = w;
    m.hiddenTop = twips(w->y());
    m.hiddenLeft = twips(w->x());
}

void showStatusWindow() {
    Module& m = module();
    if (m.quitting) {
        return;
    }
    CONSOLE_TRACE("a second start was refused: the status window shows");
    mainwin& status = window<mainwin>();
    if (m.windowHidden && m.hiddenForm == &status) {
        m.windowHidden = false;
    }
    status.show();
    status.raise();
    status.activateWindow();
}

} // namespace console
