#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace console {

// The console-wide state: one instance, alive for the whole run.
struct Module {
    QString appFolder;  // the program's folder, always ending in "/"
    QString configPath; // appFolder + "ostrum.cfg"
    int uiLanguage = 0; // 0 English, 1 Simplified Chinese, 2 Traditional Chinese
    bool serviceStopped = true;
    bool serviceInstalled = false;
    QPointer<QWidget> advancedOwner;
    // Hide-to-tray and quit state.
    QPointer<QWidget> hiddenForm;
    int hiddenTop = 0;  // twips
    int hiddenLeft = 0; // twips
    bool windowHidden = false;
    bool quitting = false;
};

Module& module();

// The service and the programs the console watches.
inline const QString kServiceName = QStringLiteral("ostrum");
QString serviceProgramFile(); // the service's program file name
QString consoleProgramFile(); // this console's

// Sets appFolder (adding the "/") and configPath.
void setAppFolder(const QString& folder);

// The start-up sequence; false when the program is to end at once.
bool Main();

void showSplash(QWidget* owner, const QString& text);
void setSplashText(const QString& text);
void closeSplash();

// Section "setting" of ostrum.cfg. A missing key gives the default, a key
// with an empty value the empty text; values hold at most 255 bytes.
QString readSetting(const QString& key, const QString& defaultValue);
void writeSetting(const QString& key, const QString& value);

bool isServiceInstalled(const QString& name);
bool isServiceStopped(const QString& name);
// Each waits the settle time after its call when the service exists.
void stopServiceAndWait(const QString& name);
void startServiceAndWait(const QString& name);
void disableService(const QString& name);
void enableServiceAuto(const QString& name);
// The settle time is 3000 ms; tests shorten it.
void setServiceWaitForTest(int milliseconds);

// Working set of the process as "12,056 K"; an empty name is this console.
QString processMemoryText(const QString& programFile);
// A figure in "###,###.#": grouped, one decimal only where there is a
// fraction, no leading zero ("" for 0).
QString kilobytesText(double kilobytes);
qint32 processIdOf(const QString& programFile);
// Lines of log/<fileName> that do not begin with "#"; 0 for a missing file.
qint32 countLogRecords(const QString& fileName);
// Whether the file exists in the folder of the system's libraries.
bool systemFileExists(const QString& fileName);

// The one entry by which the editors ask for a restart of the service.
void showRestartWindow(QWidget* owner);

} // namespace console
