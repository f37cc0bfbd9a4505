#include "service/program/base_service.h"

#include "platform/proc/program_file.h"
#include "platform/svc/service_manager.h"

#include <cstdio>
#include <strings.h>

namespace ostrum {

using platform::svc::State;

BaseService* BaseService::s_instance = nullptr;

namespace {

constexpr uint32_t kAllControls = platform::svc::kAcceptStop | platform::svc::kAcceptPauseContinue |
                                  platform::svc::kAcceptShutdown;
constexpr uint32_t kWaitHintMs = 2000;
// The exit code that says the service-specific code holds the reason.
constexpr uint32_t kServiceSpecificError = 1066;

} // namespace

BaseService::BaseService(const char* serviceName, const char* displayName)
    : m_serviceName(serviceName), m_displayName(displayName) {
    s_instance = this;
}

BaseService::~BaseService() {
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

bool BaseService::onInit() {
    return true;
}
void BaseService::onStop() {}
void BaseService::onPause() {}
void BaseService::onContinue() {}
void BaseService::onShutdown() {}
void BaseService::onUserControl(uint32_t) {}

bool BaseService::handleSwitches(int argc, char** argv) {
    if (argc < 2) {
        return false;
    }
    const char* name = m_serviceName.c_str();
    if (strcasecmp(argv[1], "-i") == 0) {
        m_switchFailed = false;
        if (isInstalled()) {
            std::printf("%s is already installed\n", name);
        } else if (installService()) {
            std::printf("%s installed\n", name);
        } else {
            std::printf("%s failed to install. Error %d\n", name, m_lastError);
            m_switchFailed = true;
        }
        return true;
    }
    if (strcasecmp(argv[1], "-u") == 0) {
        m_switchFailed = true;
        if (!isInstalled()) {
            std::printf("%s is not installed\n", name);
        } else if (removeService()) {
            m_switchFailed = false;
            std::printf("%s removed.\nYou must delete the file \"%s\" yourself.\n", name,
                        platform::proc::modulePath().c_str());
            std::printf("%s removed.", argv[0]);
        } else {
            std::printf("Can not remove %s. Error %d\n", name, m_lastError);
        }
        return true;
    }
    return false;
}

bool BaseService::isInstalled() {
    return platform::svc::openServiceManager()->isInstalled(m_serviceName);
}

bool BaseService::installService() {
    const platform::svc::ServiceConfig config{m_serviceName, m_displayName,
                                              platform::proc::modulePath(), m_startType};
    m_lastError = platform::svc::openServiceManager()->install(config);
    return m_lastError == 0;
}

bool BaseService::removeService() {
    const auto manager = platform::svc::openServiceManager();
    platform::svc::ServiceStatus current;
    m_lastError = manager->queryStatus(m_serviceName, current);
    if (m_lastError != 0) {
        return false;
    }
    if (current.currentState != State::Stopped) {
        std::printf("Stopping service...\n");
        std::fflush(stdout);
        m_lastError = manager->control(m_serviceName, platform::svc::kControlStop);
        if (m_lastError != 0) {
            return false;
        }
    }
    m_lastError = manager->remove(m_serviceName);
    return m_lastError == 0;
}

void BaseService::serviceMain() {
    BaseService* const service = s_instance;
    const platform::svc::StatusHandle handle =
        platform::svc::registerControlHandler(service->m_serviceName, &BaseService::controlHandler);
    if (handle == 0) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(service->m_statusLock);
        service->m_statusHandle = handle;
    }
    service->reportStatus(State::StartPending);
    if (service->onInit()) {
        service->reportStatus(State::Running);
        service->run();
    }
    service->reportStatus(State::Stopped);
}

void BaseService::controlHandler(uint32_t control) {
    BaseService* const service = s_instance;
    switch (control) {
    case platform::svc::kControlStop:
        service->reportStatus(State::StopPending);
        service->onStop();
        service->reportStatus(State::Stopped);
        break;
    case platform::svc::kControlPause:
        service->reportStatus(State::PausePending);
        service->onPause();
        service->reportStatus(State::Paused);
        break;
    case platform::svc::kControlContinue:
        service->reportStatus(State::ContinuePending);
        service->onContinue();
        service->reportStatus(State::Running);
        break;
    case platform::svc::kControlInterrogate:
        break;
    case platform::svc::kControlShutdown:
        service->onShutdown();
        break;
    default:
        if (control >= platform::svc::kFirstUserControl &&
            control <= platform::svc::kLastUserControl) {
            service->onUserControl(control);
        }
        service->reportStatus(service->status().currentState);
    }
}

void BaseService::reportStatus(State state) {
    const std::lock_guard<std::mutex> guard(m_statusLock);
    m_status.currentState = state;
    m_status.controlsAccepted = state == State::StartPending ? 0 : kAllControls;
    const bool failed = state == State::Stopped && m_serviceExitCode != 0;
    m_status.exitCode = failed ? kServiceSpecificError : 0;
    m_status.serviceSpecificExitCode = failed ? uint32_t(m_serviceExitCode.load()) : 0;
    m_status.checkPoint = 0;
    m_status.waitHint = kWaitHintMs;
    (void)platform::svc::setServiceStatus(m_statusHandle, m_status);
}

void BaseService::reportReady() {
    const std::lock_guard<std::mutex> guard(m_statusLock);
    (void)platform::svc::reportReady(m_statusHandle);
}

platform::svc::ServiceStatus BaseService::status() const {
    const std::lock_guard<std::mutex> guard(m_statusLock);
    return m_status;
}

} // namespace ostrum
