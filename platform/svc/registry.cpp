#include "platform/svc/registry.h"

#include "platform/proc/proc_stat.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace platform::svc {
namespace {

constexpr const char* kDefaultRoot = "/var/lib/ostrum/svc";

template <typename Number> void readNumber(std::string_view text, Number& field) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size()) {
        field = value;
    }
}

// Calls apply(key, value) for each "key=value" line.
template <typename Apply> void forEachSetting(std::string_view text, Apply apply) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            apply(line.substr(0, equals), line.substr(equals + 1));
        }
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

void readState(std::string_view text, State& state) {
    uint32_t value = 0;
    readNumber(text, value);
    if (value >= uint32_t(State::Stopped) && value <= uint32_t(State::Paused)) {
        state = State(value);
    }
}

int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = write(fd, content.data(), content.size());
        if (written < 0 && errno != EINTR) {
            return errno;
        }
        content.remove_prefix(written < 0 ? 0 : size_t(written));
    }
    return 0;
}

} // namespace

std::string formatServiceRecord(const ServiceConfig& config) {
    return "name=" + config.name + "\ndisplay_name=" + config.displayName +
           "\nprogram=" + config.program +
           "\nstart_mode=" + std::string(startModeName(config.startMode)) + "\n";
}

bool parseServiceRecord(std::string_view text, ServiceConfig& out) {
    ServiceConfig parsed;
    forEachSetting(text, [&](std::string_view key, std::string_view value) {
        if (key == "name") {
            parsed.name = value;
        } else if (key == "display_name") {
            parsed.displayName = value;
        } else if (key == "program") {
            parsed.program = value;
        } else if (key == "start_mode") {
            parsed.startMode = parseStartMode(value).value_or(parsed.startMode);
        }
    });
    if (!isValidServiceName(parsed.name) || parsed.program.empty()) {
        return false;
    }
    out = std::move(parsed);
    return true;
}

std::string formatStatusRecord(const StatusRecord& r) {
    const ServiceStatus& s = r.status;
    return "pid=" + std::to_string(r.pid) + "\nstart_ticks=" + std::to_string(r.startTicks) +
           "\ntoken=" + r.token + "\nstate=" + std::to_string(uint32_t(s.currentState)) +
           "\ncontrols=" + std::to_string(s.controlsAccepted) +
           "\nexit_code=" + std::to_string(s.exitCode) +
           "\nspecific_exit_code=" + std::to_string(s.serviceSpecificExitCode) +
           "\ncheck_point=" + std::to_string(s.checkPoint) +
           "\nwait_hint=" + std::to_string(s.waitHint) + "\nready=" + (r.ready ? "1" : "0") +
           "\ncontrol_sent=" + std::to_string(r.controlSent) +
           "\ncontrol_done=" + std::to_string(r.controlDone) + "\n";
}

StatusRecord parseStatusRecord(std::string_view text) {
    StatusRecord r;
    ServiceStatus& s = r.status;
    forEachSetting(text, [&](std::string_view key, std::string_view value) {
        if (key == "pid") {
            readNumber(value, r.pid);
        } else if (key == "start_ticks") {
            readNumber(value, r.startTicks);
        } else if (key == "token") {
            r.token = value;
        } else if (key == "state") {
            readState(value, s.currentState);
        } else if (key == "controls") {
            readNumber(value, s.controlsAccepted);
        } else if (key == "exit_code") {
            readNumber(value, s.exitCode);
        } else if (key == "specific_exit_code") {
            readNumber(value, s.serviceSpecificExitCode);
        } else if (key == "check_point") {
            readNumber(value, s.checkPoint);
        } else if (key == "wait_hint") {
            readNumber(value, s.waitHint);
        } else if (key == "ready") {
            r.ready = value == "1";
        } else if (key == "control_sent") {
            readNumber(value, r.controlSent);
        } else if (key == "control_done") {
            readNumber(value, r.controlDone);
        }
    });
    if (r.pid < 0) {
        r.pid = 0;
    }
    return r;
}

int readFileText(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::string text;
    char buffer[4096];
    int error = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        text.append(buffer, size_t(got));
    }
    close(fd);
    if (error == 0) {
        out = std::move(text);
    }
    return error;
}

int writeFileAtomically(const std::string& path, std::string_view content) {
    // Writers hold the registry lock, so one temporary name is enough.
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    int error = writeAll(fd, content);
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    close(fd);
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
    }
    return error;
}

Registry::Registry(std::string root) : m_root(std::move(root)) {}

std::string Registry::defaultRoot() {
    const char* root = getenv("OSTRUM_SVC_ROOT");
    return root != nullptr && *root != '\0' ? root : kDefaultRoot;
}

std::string Registry::configPath(std::string_view name) const {
    return m_root + "/" + canonicalName(name) + ".service";
}

std::string Registry::statusPath(std::string_view name) const {
    return m_root + "/" + canonicalName(name) + ".status";
}

Registry::Lock::Lock(const Registry& registry, bool exclusive) {
    m_fd = open(registry.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno == ENOENT ? kErrorNotInstalled : errno;
        return;
    }
    while (flock(m_fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno != EINTR) {
            m_error = errno;
            return;
        }
    }
}

Registry::Lock::~Lock() {
    if (m_fd >= 0) {
        close(m_fd); // releases the lock
    }
}

int Registry::readConfig(std::string_view name, ServiceConfig& out) const {
    std::string text;
    if (const int error = readFileText(configPath(name), text); error != 0) {
        return error == ENOENT ? kErrorNotInstalled : error;
    }
    return parseServiceRecord(text, out) ? 0 : kErrorNotInstalled;
}

int Registry::writeConfig(const ServiceConfig& config) const {
    return writeFileAtomically(configPath(config.name), formatServiceRecord(config));
}

StatusRecord Registry::readStatus(std::string_view name) const {
    std::string text;
    (void)readFileText(statusPath(name), text);
    return parseStatusRecord(text);
}

int Registry::writeStatus(std::string_view name, const StatusRecord& record) const {
    return writeFileAtomically(statusPath(name), formatStatusRecord(record));
}

int Registry::removeService(std::string_view name) const {
    if (unlink(configPath(name).c_str()) != 0) {
        return errno == ENOENT ? kErrorNotInstalled : errno;
    }
    unlink(statusPath(name).c_str());
    return 0;
}

std::vector<std::string> Registry::serviceNames() const {
    constexpr std::string_view kSuffix = ".service";
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_root, error)) {
        const std::string file = entry.path().filename().string();
        ServiceConfig config;
        if (file.ends_with(kSuffix) &&
            readConfig(file.substr(0, file.size() - kSuffix.size()), config) == 0) {
            names.push_back(config.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isRecordAlive(const StatusRecord& record) {
    return record.pid > 0 && proc::isProcessAlive(record.pid, record.startTicks);
}

ServiceStatus effectiveStatus(const StatusRecord& record) {
    const State reported = record.status.currentState;
    ServiceStatus status = record.status;
    if (reported != State::Stopped && !isRecordAlive(record)) {
        status.currentState = State::Stopped;
        status.controlsAccepted = 0;
    } else if (!record.ready && reported != State::Stopped && reported != State::StopPending) {
        status.currentState = State::StartPending;
        status.controlsAccepted = 0;
    }
    return status;
}

} // namespace platform::svc
