#pragma once

class QCloseEvent;
class QWidget;

namespace console {

enum class MainWindow { Status, History, Setting, ProInfo };

QWidget& mainWindow(MainWindow which);

// A tab image: the target shows at the current window's place and the
// current window hides.
void switchMainWindow(QWidget* current, MainWindow target);

// The "Advanced" tab: the current window becomes advancedOwner and the
// attack-rule window opens modally over it.
void openAdvanced(QWidget* current);

// The close box of a main window: unless the console is quitting, the
// window hides into the tray and the close is cancelled. Without a
// notification area a hidden window could not come back: the close asks
// the quit question instead.
void closeToTray(QWidget* window, QCloseEvent* event);

// A refused second start: the status window shows in front.
void showStatusWindow();

} // namespace console
