#pragma once

#include "platform/proc/program_file.h"
#include "service/filter_manager.h"
#include "service/program/base_service.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace ostrum {

// The filtering service: starts the filter manager, restarts the web server,
// then wakes every 10 seconds until stopped and starts the updater once a
// day between 01:00 and 01:05.
class OstrumService : public BaseService {
public:
    // The program folder, the module path's folder, becomes the current one.
    explicit OstrumService(std::string modulePath = platform::proc::modulePath());
    // Lets a run in progress leave its loop before the object goes.
    ~OstrumService() override;

    void run() override;
    void onStop() override;
    void onPause() override;
    void onContinue() override;
    // Starts "update" without arguments from the program folder or PATH;
    // always true (a missing updater fails silently).
    virtual bool startUpdater();

    filtermanager& manager() { return m_manager; }
    const std::string& modulePath() const { return m_modulePath; }
    const std::string& appdir() const { return m_appdir; }
    int startResult() const { return m_startResult; }
    bool paused() const { return m_paused; }
    bool running() const { return m_running; }

    void setLoopIntervalForTest(std::chrono::milliseconds interval);
    unsigned wakeUpsForTest() const { return m_wakeUps; }

private:
    void protect();
    // False when woken by a stop.
    bool sleepUnlessStopped();
    void checkDailyUpdate();

    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_running{false};
    filtermanager m_manager;
    std::string m_modulePath;
    std::string m_appdir;
    std::atomic<int> m_startResult{0};

    // Orders the filter's start and stop and wakes the loop at a stop.
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopRequested = false;
    bool m_filterStarted = false;
    bool m_inRun = false;
    std::chrono::milliseconds m_interval{10000};
    std::atomic<unsigned> m_wakeUps{0};
};

} // namespace ostrum
