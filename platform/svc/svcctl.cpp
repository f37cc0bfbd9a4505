// svcctl: the command line of the service manager layer.
//   svcctl start|stop|pause|continue|query|config NAME
//   svcctl control NAME CODE      (a service's own control code, 128 to 255)
//   svcctl start-automatic        (at boot: every Automatic service of the
//                                  standalone registry that is not running)
// Prints the service's state (config: its configuration; start-automatic:
// "NAME: STATE" for each service it started); exit status 0 on
// success, 1 with a message on standard error otherwise (a start that ends
// stopped included), 2 on bad usage.

#include "platform/svc/registry.h"
#include "platform/svc/service_manager.h"
#include "platform/svc/standalone_manager.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace platform::svc;

constexpr std::chrono::seconds kSettleTime{30};

bool isPending(State state) {
    return state == State::StartPending || state == State::StopPending ||
           state == State::PausePending || state == State::ContinuePending;
}

int fail(std::string_view command, std::string_view name, int error) {
    std::fprintf(stderr, "svcctl: %.*s %.*s failed: %s (%d)\n", int(command.size()), command.data(),
                 int(name.size()), name.data(), std::strerror(error), error);
    return 1;
}

// Prints the state once it has left the pending states (or the wait ran out).
int printState(ServiceManager& manager, std::string_view command, std::string_view name,
               ServiceStatus* settled = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleTime;
    ServiceStatus status;
    int error = manager.queryStatus(name, status);
    while (error == 0 && isPending(status.currentState) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        error = manager.queryStatus(name, status);
    }
    if (error != 0) {
        return fail(command, name, error);
    }
    const std::string_view state = stateName(status.currentState);
    std::printf("%.*s\n", int(state.size()), state.data());
    if (settled != nullptr) {
        *settled = status;
    }
    return 0;
}

// Starts the service and prints the state it settles in; a service that
// stopped again failed its start.
int startService(ServiceManager& manager, std::string_view name) {
    if (const int error = manager.start(name); error != 0) {
        return fail("start", name, error);
    }
    ServiceStatus status;
    if (printState(manager, "start", name, &status) != 0) {
        return 1;
    }
    if (status.currentState != State::Stopped) {
        return 0;
    }
    std::fprintf(stderr, "svcctl: %.*s stopped during its start (exit code %u, %u)\n",
                 int(name.size()), name.data(), status.exitCode, status.serviceSpecificExitCode);
    return 1;
}

int printConfig(ServiceManager& manager, std::string_view name) {
    ServiceConfig config;
    if (const int error = manager.queryConfig(name, config); error != 0) {
        return fail("config", name, error);
    }
    std::fputs(formatServiceRecord(config).c_str(), stdout);
    return 0;
}

int sendControl(ServiceManager& manager, std::string_view command, std::string_view name,
                uint32_t code) {
    if (const int error = manager.control(name, code); error != 0) {
        return fail(command, name, error);
    }
    return printState(manager, command, name);
}

int usage() {
    std::fputs("usage: svcctl start|stop|pause|continue|query|config NAME\n"
               "       svcctl control NAME CODE\n"
               "       svcctl start-automatic\n",
               stderr);
    return 2;
}

int userControl(ServiceManager& manager, std::string_view name, std::string_view text) {
    uint32_t code = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (error != std::errc() || end != text.data() + text.size()) {
        return usage();
    }
    return sendControl(manager, "control", name, code);
}

// Hosts without systemd call this from their boot (an init script, a
// container's entry point); systemd starts enabled units itself.
int startAutomatic() {
    StandaloneManager manager(Registry::defaultRoot());
    int status = 0;
    for (const auto& [name, error] : manager.startAutomatic()) {
        if (error != 0) {
            status = fail("start", name, error);
            continue;
        }
        std::printf("%s: ", name.c_str()); // then its state
        ServiceStatus settled;
        if (printState(manager, "start", name, &settled) != 0 ||
            settled.currentState == State::Stopped) {
            status = 1;
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "start-automatic") {
        return startAutomatic();
    }
    if (argc < 3) {
        return usage();
    }
    const std::string_view command = argv[1];
    const std::string_view name = argv[2];
    const std::unique_ptr<ServiceManager> manager = openServiceManager();
    if (command == "control" && argc == 4) {
        return userControl(*manager, name, argv[3]);
    }
    if (argc != 3) {
        return usage();
    }
    if (command == "start") {
        return startService(*manager, name);
    }
    if (command == "stop") {
        return sendControl(*manager, command, name, kControlStop);
    }
    if (command == "pause") {
        return sendControl(*manager, command, name, kControlPause);
    }
    if (command == "continue") {
        return sendControl(*manager, command, name, kControlContinue);
    }
    if (command == "query") {
        return printState(*manager, command, name);
    }
    if (command == "config") {
        return printConfig(*manager, name);
    }
    return usage();
}
