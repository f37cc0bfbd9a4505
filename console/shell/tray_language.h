#pragma once

namespace console {

// The tray follows the console language: the status window's menu of the
// language (MainMenu0, 1 or 2) and the tip of the language.
void setTrayMenuForLanguage();
void setTrayTipForLanguage();

} // namespace console
