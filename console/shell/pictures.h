#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace console {

// The console's button pictures by key: "btn4w" and "btn4wfocus" (narrow),
// "btn6w" and "btn6wfocus" (wide). An unknown key gives a null picture.
QPixmap picture(const QString& key);

// The tray's resource icons: 101 while the service runs, 102 while it is stopped.
constexpr int kIconRunning = 101;
constexpr int kIconStopped = 102;
QIcon trayIcon(int id);

} // namespace console
