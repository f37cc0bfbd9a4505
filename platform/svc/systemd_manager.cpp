#include "platform/svc/systemd_manager.h"

#include "platform/svc/registry.h"
#include "platform/svc/standalone_manager.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <map>
#include <unistd.h>

namespace platform::svc {
namespace {

// Descriptors a unit may open: each proxied client costs two. The common
// hard limit of systemd hosts, well below the kernel's nr_open.
constexpr unsigned kDescriptorLimit = 524288;

// Unit files expand "%" specifiers everywhere.
std::string escapeSpecifiers(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '%') {
            escaped += '%';
        }
    }
    return escaped;
}

// The program of ExecStart, quoted. The ":" prefix turns off "$" variables
// for the whole command: systemd would not undo "$$" in the program's path.
std::string quotedCommand(std::string_view path) {
    std::string quoted = ":\"";
    for (const char c : path) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string unescapeDoubled(std::string_view text, std::string_view doubled) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (doubled.find(text[i]) != std::string_view::npos && i + 1 < text.size() &&
            text[i + 1] == text[i]) {
            ++i;
        }
    }
    return plain;
}

// The path between the quotes of ExecStart; false when they do not close.
// Without the ":" prefix "$$" stands for "$".
bool unquoteCommand(std::string_view value, std::string& out) {
    const bool literalDollars = value.starts_with(':');
    if (literalDollars) {
        value.remove_prefix(1);
    }
    const std::string_view doubled = literalDollars ? "%" : "%$";
    if (!value.starts_with('"')) {
        out = unescapeDoubled(value, doubled);
        return true;
    }
    std::string path;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') {
            out = unescapeDoubled(path, doubled);
            return i + 1 == value.size();
        }
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
        }
        path += value[i];
    }
    return false;
}

bool isUnitText(std::string_view text) {
    return text.find_first_of("\r\n") == text.npos && !text.ends_with('\\');
}

// systemd refuses a program path with quotes, backslashes or control characters.
bool isUnitProgram(std::string_view path) {
    return std::none_of(path.begin(), path.end(), [](char c) {
        return (unsigned char)c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '\\';
    });
}

std::map<std::string, std::string, std::less<>> showFields(std::string_view show) {
    std::map<std::string, std::string, std::less<>> fields;
    while (!show.empty()) {
        const size_t end = show.find('\n');
        const std::string_view line = show.substr(0, end);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            fields.emplace(line.substr(0, equals), line.substr(equals + 1));
        }
        show = end == std::string_view::npos ? std::string_view() : show.substr(end + 1);
    }
    return fields;
}

// The state a running unit reported last through its status text.
State activeState(std::string_view statusText) {
    for (const State state : {State::Paused, State::PausePending, State::ContinuePending,
                              State::StopPending, State::Running}) {
        if (statusText == stateName(state)) {
            return state;
        }
    }
    return State::Running;
}

} // namespace

std::string unitName(std::string_view serviceName) {
    return canonicalName(serviceName) + ".service";
}

std::string unitFileText(const ServiceConfig& config) {
    // KillMode=process: a stop ends the service's process only, so the
    // updater it started can stop and restart the service and go on.
    return "[Unit]\n"
           "Description=" +
           escapeSpecifiers(config.displayName) +
           "\n\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" +
           quotedCommand(config.program) +
           "\n"
           "Restart=no\n"
           "KillMode=process\n"
           "LimitNOFILE=" +
           std::to_string(kDescriptorLimit) +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

bool parseUnitFile(std::string_view text, ServiceConfig& out) {
    ServiceConfig parsed;
    bool haveProgram = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (line.starts_with("Description=")) {
            parsed.displayName = unescapeDoubled(line.substr(12), "%");
        } else if (line.starts_with("ExecStart=")) {
            haveProgram =
                unquoteCommand(line.substr(10), parsed.program) && !parsed.program.empty();
        }
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    if (!haveProgram) {
        return false;
    }
    out = std::move(parsed);
    return true;
}

ServiceStatus statusFromShow(std::string_view show, pid_t& pid) {
    const auto fields = showFields(show);
    const auto field = [&](std::string_view key) {
        const auto it = fields.find(key);
        return it == fields.end() ? std::string_view() : std::string_view(it->second);
    };
    ServiceStatus status;
    const std::string_view active = field("ActiveState");
    if (active == "active" || active == "reloading") {
        status.currentState = activeState(field("StatusText"));
    } else if (active == "activating") {
        status.currentState = State::StartPending;
    } else if (active == "deactivating") {
        status.currentState = State::StopPending;
    }
    status.controlsAccepted = status.currentState == State::StartPending
                                  ? 0
                                  : kAcceptStop | kAcceptPauseContinue | kAcceptShutdown;
    const std::string_view mainPid = field("MainPID");
    pid = 0;
    std::from_chars(mainPid.data(), mainPid.data() + mainPid.size(), pid);
    if (status.currentState == State::Stopped || pid < 0) {
        pid = 0;
    }
    return status;
}

SystemdManager::SystemdManager(std::string unitFolder, SystemctlRunner systemctl)
    : m_unitFolder(std::move(unitFolder)), m_systemctl(std::move(systemctl)) {}

std::string SystemdManager::unitPath(std::string_view name) const {
    return m_unitFolder + "/" + unitName(name);
}

int SystemdManager::systemctl(const std::vector<std::string>& args, std::string* output) {
    std::string ignored;
    return m_systemctl(args, output != nullptr ? *output : ignored) == 0 ? 0 : kErrorManager;
}

int SystemdManager::install(const ServiceConfig& config) {
    if (!isValidServiceName(config.name) || config.program.empty() ||
        !isUnitText(config.displayName) || !isUnitProgram(config.program)) {
        return kErrorInvalid;
    }
    if (isInstalled(config.name)) {
        return kErrorExists;
    }
    const std::string path = unitPath(config.name);
    if (const int error = writeFileAtomically(path, unitFileText(config)); error != 0) {
        return error;
    }
    int error = systemctl({"daemon-reload"});
    if (error == 0 && config.startMode == StartMode::Automatic) {
        error = systemctl({"enable", unitName(config.name)});
    }
    if (error != 0) {
        unlink(path.c_str());
        (void)systemctl({"daemon-reload"});
    }
    return error;
}

int SystemdManager::remove(std::string_view name) {
    if (!isInstalled(name)) {
        return kErrorNotInstalled;
    }
    (void)systemctl({"disable", unitName(name)});
    if (unlink(unitPath(name).c_str()) != 0) {
        return errno;
    }
    return systemctl({"daemon-reload"});
}

bool SystemdManager::isInstalled(std::string_view name) {
    return isValidServiceName(name) && access(unitPath(name).c_str(), F_OK) == 0;
}

int SystemdManager::queryConfig(std::string_view name, ServiceConfig& out) {
    if (!isInstalled(name)) {
        return kErrorNotInstalled;
    }
    std::string text;
    ServiceConfig parsed;
    if (readFileText(unitPath(name), text) != 0 || !parseUnitFile(text, parsed)) {
        return kErrorNotInstalled;
    }
    parsed.name = std::string(name);
    std::string enabled;
    (void)m_systemctl({"is-enabled", unitName(name)}, enabled);
    parsed.startMode = enabled.starts_with("enabled") ? StartMode::Automatic : StartMode::Disabled;
    out = std::move(parsed);
    return 0;
}

int SystemdManager::readShow(std::string_view name, std::string& output) {
    if (!isInstalled(name)) {
        return kErrorNotInstalled;
    }
    return systemctl({"show", unitName(name), "--property=ActiveState,StatusText,MainPID"},
                     &output);
}

int SystemdManager::queryStatus(std::string_view name, ServiceStatus& out) {
    std::string show;
    const int error = readShow(name, show);
    pid_t pid = 0;
    if (error == 0) {
        out = statusFromShow(show, pid);
    }
    return error;
}

int SystemdManager::queryProcessId(std::string_view name, pid_t& out) {
    std::string show;
    const int error = readShow(name, show);
    if (error == 0) {
        (void)statusFromShow(show, out);
    }
    return error;
}

int SystemdManager::start(std::string_view name) {
    ServiceConfig config;
    if (const int error = queryConfig(name, config); error != 0) {
        return error;
    }
    if (config.startMode == StartMode::Disabled) {
        return kErrorDisabled;
    }
    ServiceStatus status;
    if (queryStatus(name, status) == 0 && status.currentState != State::Stopped) {
        return kErrorAlreadyRunning;
    }
    return systemctl({"start", unitName(name)});
}

int SystemdManager::control(std::string_view name, uint32_t code) {
    if (!isSendableControl(code)) {
        return kErrorInvalid;
    }
    std::string show;
    if (const int error = readShow(name, show); error != 0) {
        return error;
    }
    pid_t pid = 0;
    const ServiceStatus status = statusFromShow(show, pid);
    if (status.currentState == State::Stopped || pid == 0) {
        return kErrorNotActive;
    }
    if (!acceptsControl(status.controlsAccepted, code)) {
        return kErrorCannotAccept;
    }
    if (code == kControlStop) {
        return systemctl({"stop", "--no-block", unitName(name)});
    }
    sigval value{};
    value.sival_int = int(code);
    return sigqueue(pid, controlSignal(), value) == 0 ? 0 : errno;
}

int SystemdManager::changeStartMode(std::string_view name, StartMode mode) {
    if (!isInstalled(name)) {
        return kErrorNotInstalled;
    }
    return systemctl({mode == StartMode::Automatic ? "enable" : "disable", unitName(name)});
}

} // namespace platform::svc
