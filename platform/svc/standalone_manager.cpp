#include "platform/svc/standalone_manager.h"

#include "platform/proc/proc_stat.h"
#include "platform/svc/detached_spawn.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/random.h>
#include <thread>

namespace platform::svc {
namespace {

using Clock = std::chrono::steady_clock;

// How long a start waits for the program to take its place, and a control for
// the handler to take it: the time a service manager gives a service.
constexpr std::chrono::seconds kAnswerTime{30};
constexpr std::chrono::milliseconds kPollStep{10};
constexpr uint32_t kSequenceMask = 0x7fffff;

// trySpawn: the previous process reported stopped and has not ended yet.
constexpr int kErrorStillEnding = -1;

// Sequence numbers of controls: 23 bits, never 0.
uint32_t nextSequence(uint32_t last) {
    const uint32_t next = (last + 1) & kSequenceMask;
    return next == 0 ? 1 : next;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

std::string newToken() {
    unsigned char bytes[16] = {};
    if (getrandom(bytes, sizeof bytes, 0) != sizeof bytes) {
        return {};
    }
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += digits[byte >> 4];
        token += digits[byte & 15];
    }
    return token;
}

uint64_t startTicksOf(pid_t pid) {
    proc::ProcStat stat;
    return proc::readProcStat(pid, stat) ? stat.startTicks : 0;
}

} // namespace

int controlSignal() {
    return SIGRTMIN;
}

StandaloneManager::StandaloneManager(std::string root)
    : m_registry(std::filesystem::absolute(root).lexically_normal().string()) {}

int StandaloneManager::install(const ServiceConfig& config) {
    if (!isValidServiceName(config.name) || config.program.empty() ||
        hasLineBreak(config.displayName) || hasLineBreak(config.program)) {
        return kErrorInvalid;
    }
    std::error_code fsError;
    std::filesystem::create_directories(m_registry.root(), fsError);
    if (fsError) {
        return fsError.value();
    }
    const Registry::Lock lock(m_registry, true);
    if (lock.error() != 0) {
        return lock.error();
    }
    ServiceConfig existing;
    if (m_registry.readConfig(config.name, existing) == 0) {
        return kErrorExists;
    }
    std::filesystem::remove(m_registry.statusPath(config.name), fsError);
    return m_registry.writeConfig(config);
}

int StandaloneManager::remove(std::string_view name) {
    const Registry::Lock lock(m_registry, true);
    return lock.error() != 0 ? lock.error() : m_registry.removeService(name);
}

bool StandaloneManager::isInstalled(std::string_view name) {
    ServiceConfig config;
    return queryConfig(name, config) == 0;
}

int StandaloneManager::queryConfig(std::string_view name, ServiceConfig& out) {
    if (!isValidServiceName(name)) {
        return kErrorInvalid;
    }
    const Registry::Lock lock(m_registry, false);
    return lock.error() != 0 ? lock.error() : m_registry.readConfig(name, out);
}

int StandaloneManager::queryStatus(std::string_view name, ServiceStatus& out) {
    ServiceConfig config;
    if (const int error = queryConfig(name, config); error != 0) {
        return error;
    }
    const Registry::Lock lock(m_registry, false);
    out = effectiveStatus(m_registry.readStatus(name));
    return lock.error();
}

int StandaloneManager::queryProcessId(std::string_view name, pid_t& out) {
    ServiceConfig config;
    if (const int error = queryConfig(name, config); error != 0) {
        return error;
    }
    const Registry::Lock lock(m_registry, false);
    const StatusRecord record = m_registry.readStatus(name);
    out = effectiveStatus(record).currentState == State::Stopped ? 0 : record.pid;
    return lock.error();
}

int StandaloneManager::start(std::string_view name) {
    if (!isValidServiceName(name)) {
        return kErrorInvalid;
    }
    pid_t pid = 0;
    if (const int error = spawnService(name, pid); error != 0) {
        return error;
    }
    return waitUntilAccepted(name, pid);
}

int StandaloneManager::spawnService(std::string_view name, pid_t& pid) {
    const auto deadline = Clock::now() + kAnswerTime;
    int error = trySpawn(name, pid);
    // One that reported stopped may still be on its way out.
    while (error == kErrorStillEnding && Clock::now() < deadline) {
        std::this_thread::sleep_for(kPollStep);
        error = trySpawn(name, pid);
    }
    return error == kErrorStillEnding ? kErrorAlreadyRunning : error;
}

int StandaloneManager::trySpawn(std::string_view name, pid_t& pid) {
    const Registry::Lock lock(m_registry, true);
    ServiceConfig config;
    if (const int error = lock.error() != 0 ? lock.error() : m_registry.readConfig(name, config);
        error != 0) {
        return error;
    }
    if (config.startMode == StartMode::Disabled) {
        return kErrorDisabled;
    }
    const StatusRecord previous = m_registry.readStatus(name);
    if (isRecordAlive(previous)) {
        return previous.status.currentState == State::Stopped ? kErrorStillEnding
                                                              : kErrorAlreadyRunning;
    }
    StatusRecord record;
    record.token = newToken();
    if (record.token.empty()) {
        return kErrorManager;
    }
    record.status.currentState = State::StartPending;
    if (const int error = m_registry.writeStatus(name, record); error != 0) {
        return error;
    }
    const std::vector<std::string> extra{std::string(kTokenVariable) + "=" + record.token,
                                         std::string(kRootVariable) + "=" + m_registry.root()};
    if (const int error = spawnDetached(config.program, extra, pid); error != 0) {
        (void)m_registry.writeStatus(name, StatusRecord{});
        return error;
    }
    // The child waits for this lock before it reads the record.
    record.pid = pid;
    record.startTicks = startTicksOf(pid);
    return m_registry.writeStatus(name, record);
}

int StandaloneManager::waitUntilAccepted(std::string_view name, pid_t pid) {
    const auto deadline = Clock::now() + kAnswerTime;
    while (Clock::now() < deadline) {
        {
            const Registry::Lock lock(m_registry, false);
            const StatusRecord record = m_registry.readStatus(name);
            if (record.pid != pid || record.token.empty()) {
                return 0;
            }
            if (!isRecordAlive(record)) {
                return kErrorNoResponse;
            }
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return kErrorNoResponse;
}

int StandaloneManager::control(std::string_view name, uint32_t code) {
    if (!isValidServiceName(name) || !isSendableControl(code)) {
        return kErrorInvalid;
    }
    uint32_t sequence = 0;
    pid_t pid = 0;
    if (const int error = sendControl(name, code, sequence, pid); error != 0) {
        return error;
    }
    return waitUntilHandled(name, pid, sequence);
}

int StandaloneManager::sendControl(std::string_view name, uint32_t code, uint32_t& sequence,
                                   pid_t& pid) {
    const Registry::Lock lock(m_registry, true);
    ServiceConfig config;
    if (const int error = lock.error() != 0 ? lock.error() : m_registry.readConfig(name, config);
        error != 0) {
        return error;
    }
    StatusRecord record = m_registry.readStatus(name);
    const ServiceStatus status = effectiveStatus(record);
    if (status.currentState == State::Stopped) {
        return kErrorNotActive;
    }
    if (!acceptsControl(status.controlsAccepted, code)) {
        return kErrorCannotAccept;
    }
    sequence = nextSequence(record.controlSent);
    record.controlSent = sequence;
    if (const int error = m_registry.writeStatus(name, record); error != 0) {
        return error;
    }
    pid = record.pid;
    sigval value{};
    value.sival_int = int((sequence << 8) | code);
    return sigqueue(pid, controlSignal(), value) == 0 ? 0 : errno;
}

int StandaloneManager::waitUntilHandled(std::string_view name, pid_t pid, uint32_t sequence) {
    const auto deadline = Clock::now() + kAnswerTime;
    while (Clock::now() < deadline) {
        {
            const Registry::Lock lock(m_registry, false);
            ServiceConfig config;
            if (m_registry.readConfig(name, config) != 0) {
                return 0; // removed meanwhile: nobody is left to answer
            }
            const StatusRecord record = m_registry.readStatus(name);
            if (record.controlDone == sequence || record.pid != pid || !isRecordAlive(record)) {
                return 0;
            }
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return kErrorNoResponse;
}

int StandaloneManager::changeStartMode(std::string_view name, StartMode mode) {
    if (!isValidServiceName(name)) {
        return kErrorInvalid;
    }
    const Registry::Lock lock(m_registry, true);
    ServiceConfig config;
    if (const int error = lock.error() != 0 ? lock.error() : m_registry.readConfig(name, config);
        error != 0) {
        return error;
    }
    config.startMode = mode;
    return m_registry.writeConfig(config);
}

std::vector<std::pair<std::string, int>> StandaloneManager::startAutomatic() {
    std::vector<std::string> names;
    {
        const Registry::Lock lock(m_registry, false);
        if (lock.error() == 0) {
            names = m_registry.serviceNames();
        }
    }
    std::vector<std::pair<std::string, int>> results;
    for (const std::string& name : names) {
        ServiceConfig config;
        ServiceStatus status;
        if (queryConfig(name, config) == 0 && config.startMode == StartMode::Automatic &&
            queryStatus(name, status) == 0 && status.currentState == State::Stopped) {
            results.emplace_back(name, start(name));
        }
    }
    return results;
}

} // namespace platform::svc
