#pragma once

#include "platform/svc/dispatcher.h"
#include "platform/svc/service_types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace ostrum {

// A reusable service shell: installs and removes the service, runs under
// the dispatcher, reports the status and turns controls into the hooks.
// The process has one instance, which serviceMain and controlHandler use.
class BaseService {
public:
    BaseService(const char* serviceName, const char* displayName);
    virtual ~BaseService();
    BaseService(const BaseService&) = delete;
    BaseService& operator=(const BaseService&) = delete;

    // The service's body; returns when the service stops.
    virtual void run() = 0;
    virtual bool onInit();
    virtual void onStop();
    virtual void onPause();
    virtual void onContinue();
    virtual void onShutdown();
    virtual void onUserControl(uint32_t control);

    // True after "-i" or "-u" (any case) as the first argument, whatever
    // became of them (switchFailed says); false for any other first argument.
    bool handleSwitches(int argc, char** argv);
    bool switchFailed() const { return m_switchFailed; }
    bool isInstalled();
    bool installService();
    bool removeService();
    // The entries given to the dispatcher.
    static void serviceMain();
    static void controlHandler(uint32_t control);
    // Records the state as the current one and reports the status.
    void reportStatus(platform::svc::State state);
    // Tells the service manager that the service now does its work.
    void reportReady();
    // A service whose work could not start ends with this code (0: none); it
    // goes with the stopped report and becomes the program's exit status.
    void setServiceExitCode(int code) { m_serviceExitCode = code; }
    int serviceExitCode() const { return m_serviceExitCode; }

    const std::string& serviceName() const { return m_serviceName; }
    platform::svc::ServiceStatus status() const;
    // The error of the last failed install or removal.
    int lastError() const { return m_lastError; }

private:
    static BaseService* s_instance;

    std::string m_serviceName;
    std::string m_displayName;
    platform::svc::StatusHandle m_statusHandle = 0;
    mutable std::mutex m_statusLock; // reports come from two threads
    platform::svc::ServiceStatus m_status;
    platform::svc::StartMode m_startType = platform::svc::StartMode::Automatic;
    int m_lastError = 0;
    bool m_switchFailed = false;
    std::atomic<int> m_serviceExitCode{0};
};

} // namespace ostrum
