#pragma once

#include <QString>
#include <optional>

class QMenu;
class QWidget;

namespace console {

// The console's icon in the notification area, owned by mainwin. Its icon
// is 101 while the service runs and 102 while it is stopped (pictures.h).
void trayAdd(QWidget* owner, QMenu* menu);
// The tip shows at most 64 characters.
void traySetTip(const QString& text);
void traySetIcon(int iconId);
void traySetMenu(QMenu* menu);
void trayRemove();

// Whether the desktop has a notification area to hide windows into.
bool trayAvailable();

// Tests: what the icon shows, and the clicks the desktop would deliver.
struct TrayStateForTest {
    bool shown = false;
    int iconId = 0;
    QString tip;
    QMenu* menu = nullptr;
};
TrayStateForTest trayStateForTest();
void trayLeftClickForTest();
// Tests: a desktop with or without a notification area; none puts the
// desktop's own answer back.
void setTrayAvailableForTest(std::optional<bool> available);

} // namespace console
