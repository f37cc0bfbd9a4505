#include "console/shell/tray.h"

#include "console/shell/module.h"
#include "console/shell/pictures.h"

#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

namespace console {
namespace {

constexpr int kTipLength = 64;

// The icon and what the console last gave it.
struct Tray {
    QPointer<QSystemTrayIcon> icon;
    QPointer<QWidget> trayForm;
    QPointer<QMenu> trayMenu;
    int iconId = 0;
    QString tip;
};

std::optional<bool>& trayAvailableForTest() {
    static std::optional<bool> available;
    return available;
}

Tray& tray() {
    static Tray state;
    return state;
}

// A left click brings back the main window last hidden by its close box.
void showHiddenForm() {
    Module& m = module();
    if (!m.windowHidden || m.hiddenForm.isNull()) {
        return;
    }
    QWidget* form = m.hiddenForm;
    form->show();
    form->move(qRound(m.hiddenLeft / 15.0), qRound(m.hiddenTop / 15.0));
    m.windowHidden = false;
}

void activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Context) {
        if (!tray().trayMenu.isNull()) {
            tray().trayMenu->popup(QCursor::pos());
        }
        return;
    }
    if (reason == QSystemTrayIcon::Trigger) {
        showHiddenForm();
    }
}

} // namespace

void trayAdd(QWidget* owner, QMenu* menu) {
    Tray& t = tray();
    t.trayForm = owner;
    t.trayMenu = menu;
    if (t.icon.isNull()) {
        t.icon = new QSystemTrayIcon(owner);
        QObject::connect(t.icon, &QSystemTrayIcon::activated, t.icon, &activated);
    }
    traySetIcon(module().serviceStopped ? kIconStopped : kIconRunning);
    t.icon->show();
}

void traySetTip(const QString& text) {
    Tray& t = tray();
    t.tip = text.left(kTipLength);
    if (!t.icon.isNull()) {
        t.icon->setToolTip(t.tip);
    }
}

void traySetIcon(int iconId) {
    Tray& t = tray();
    t.iconId = iconId;
    if (!t.icon.isNull()) {
        t.icon->setIcon(trayIcon(iconId));
    }
}

void traySetMenu(QMenu* menu) {
    tray().trayMenu = menu;
}

void trayRemove() {
    Tray& t = tray();
    if (!t.icon.isNull()) {
        t.icon->hide();
        delete t.icon;
    }
}

bool trayAvailable() {
    return trayAvailableForTest().value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

TrayStateForTest trayStateForTest() {
    const Tray& t = tray();
    return {!t.icon.isNull() && t.icon->isVisible(), t.iconId, t.tip, t.trayMenu.data()};
}

void trayLeftClickForTest() {
    activated(QSystemTrayIcon::Trigger);
}

void setTrayAvailableForTest(std::optional<bool> available) {
    trayAvailableForTest() = available;
}

} // namespace console
