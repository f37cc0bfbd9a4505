#pragma once

class QWidget;

namespace console {

enum class AdvancedWindow { AttackRules, PatchRules, ConnectionLimit, BlackList, WhiteList };

// Shows the window modally over owner; returns when it, and whatever its
// side bar went on to open, has closed.
void showAdvancedWindow(AdvancedWindow which, QWidget* owner);

// Quit: unloads every advanced window and dialog that is loaded.
void unloadAdvancedWindows();

} // namespace console
