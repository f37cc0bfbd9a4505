#include "console/shell/tray_language.h"

#include "console/shell/language.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/tray.h"
#include "console/shell/windows.h"

namespace console {
namespace {

// A language without texts of its own reads English.
int trayLanguage() {
    const int language = module().uiLanguage;
    return language >= 0 && language <= 2 ? language : 0;
}

} // namespace

void setTrayMenuForLanguage() {
    // The menus belong to the status window, loaded before any other main window.
    if (isLoaded<mainwin>()) {
        traySetMenu(window<mainwin>().mainMenu(trayLanguage()));
    }
}

void setTrayTipForLanguage() {
    traySetTip(languageTitle());
}

} // namespace console
