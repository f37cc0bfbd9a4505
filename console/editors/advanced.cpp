#include "console/editors/advanced.h"

#include "console/editors/advanced_frame.h"
#include "console/editors/blistwin.h"
#include "console/editors/cl.h"
#include "console/editors/clwin.h"
#include "console/editors/crule.h"
#include "console/editors/crulewin.h"
#include "console/editors/jrule.h"
#include "console/editors/jrulewin.h"
#include "console/editors/mantype.h"
#include "console/editors/wlistwin.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"

#include <QPointer>
#include <optional>

namespace console {
namespace {

// Loads the window, shows it modally over owner and unloads it when it has
// closed; the answer is the window its side bar asked for, if any.
template <class W> std::optional<AdvancedWindow> runWindow(QWidget* owner) {
    QPointer<W> shown = &window<W>();
    if (owner != nullptr) {
        shown->setParent(owner, shown->windowFlags() | Qt::Dialog);
    }
    shown->exec();
    std::optional<AdvancedWindow> next;
    if (shown) {
        next = shown->switchTarget();
    }
    unload<W>();
    return next;
}

std::optional<AdvancedWindow> run(AdvancedWindow which, QWidget* owner) {
    switch (which) {
    case AdvancedWindow::PatchRules:
        return runWindow<jrulewin>(owner);
    case AdvancedWindow::ConnectionLimit:
        return runWindow<clwin>(owner);
    case AdvancedWindow::BlackList:
        return runWindow<blistwin>(owner);
    case AdvancedWindow::WhiteList:
        return runWindow<wlistwin>(owner);
    case AdvancedWindow::AttackRules:
        break;
    }
    return runWindow<crulewin>(owner);
}

template <class W> void unloadQuietly() {
    if (isLoaded<W>()) {
        window<W>().clearSwitchTarget();
        unload<W>();
    }
}

} // namespace

void showAdvancedWindow(AdvancedWindow which, QWidget* owner) {
    std::optional<AdvancedWindow> next = which;
    while (next && !module().quitting) {
        next = run(*next, owner);
        // A side bar opens its window over advancedOwner; before any main
        // window's Advanced tab (the black list opened from the settings
        // window) over the owner of the window it leaves.
        if (module().advancedOwner) {
            owner = module().advancedOwner;
        }
    }
}

void unloadAdvancedWindow(AdvancedWindow which) {
    switch (which) {
    case AdvancedWindow::AttackRules:
        unload<crulewin>();
        break;
    case AdvancedWindow::PatchRules:
        unload<jrulewin>();
        break;
    case AdvancedWindow::ConnectionLimit:
        unload<clwin>();
        break;
    case AdvancedWindow::BlackList:
        unload<blistwin>();
        break;
    case AdvancedWindow::WhiteList:
        unload<wlistwin>();
        break;
    }
}

// Quit's order: the dialogs, then the list windows.
void unloadAdvancedWindows() {
    unload<crule>();
    unload<jrule>();
    unload<mantype>();
    unload<cl>();
    unloadQuietly<blistwin>();
    unloadQuietly<wlistwin>();
    unloadQuietly<crulewin>();
    unloadQuietly<jrulewin>();
    unloadQuietly<clwin>();
}

} // namespace console
