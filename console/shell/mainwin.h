#pragma once

#include "console/shell/usage_figures.h"

#include <QWidget>
#include <functional>

class QLabel;
class QMenu;
class QTimer;
class QTreeWidget;

namespace console {

class PictureButton;
class SideTabs;

// The status window: the service's state, start and stop, the service
// process's figures, the latest intrusion events and run-log lines. It owns
// the tray icon and its menus, whose "Quit" ends the console.
class mainwin : public QWidget {
    Q_OBJECT
public:
    mainwin();

    // The paint step: captions of the current language and the state row.
    void paintCaptions();
    // The menu the tray shows in a language (MainMenu0, 1 or 2).
    QMenu* mainMenu(int language) const;

    // What the timers do on each tick.
    void listTimerTick();
    void usageTimerTick();

    // "Quit": asks over the asking window (this one when none), then removes
    // the tray icon and unloads every window.
    void quit(QWidget* asker = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLabels();
    void buildLists();
    void buildMenus();
    void startTimers();
    void loadAttackList();
    void loadRunLog();
    void paintStateRow();
    void startOrStop();

    SideTabs* m_tabs = nullptr;
    PictureButton* m_sctl = nullptr;
    QLabel* m_nowState = nullptr;
    QLabel* m_cpu = nullptr;
    QLabel* m_memory = nullptr;
    QTreeWidget* m_attackList = nullptr;
    QTreeWidget* m_runLogList = nullptr;
    QTimer* m_listTimer = nullptr;
    QTimer* m_usageTimer = nullptr;
    QMenu* m_menus[3] = {};
    CpuUsage m_cpuUsage;
};

// Tests: Quit calls this instead of ending the event loop with its exit code.
void setQuitForTest(std::function<void(int exitCode)> quit);

} // namespace console
