// A stand-in service program for the tests of the layer. It appends every
// control code it is handed to $STANDIN_DIR/controls.log and reports as a
// service does. Code 201 ends it at once, without a report; with
// $STANDIN_DIR/hold present at start it stays start pending until that file
// is gone. Started by hand it writes "refused" to $STANDIN_DIR/refused.

#include "platform/svc/dispatcher.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

using namespace platform::svc;

constexpr const char* kName = "StandIn";

platform::svc::StatusHandle g_handle = 0;
std::mutex g_lock;
ServiceStatus g_status;
std::atomic<bool> g_stop{false};

std::string dataFile(const char* name) {
    const char* dir = getenv("STANDIN_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/" + name;
}

void append(const char* file, const std::string& line) {
    if (FILE* out = std::fopen(dataFile(file).c_str(), "a")) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

void report(State state) {
    const std::lock_guard<std::mutex> guard(g_lock);
    g_status.currentState = state;
    g_status.controlsAccepted = state == State::StartPending ? 0 : 7;
    (void)setServiceStatus(g_handle, g_status);
}

State currentState() {
    const std::lock_guard<std::mutex> guard(g_lock);
    return g_status.currentState;
}

void handler(uint32_t code) {
    append("controls.log", std::to_string(code));
    switch (code) {
    case kControlStop:
        report(State::StopPending);
        g_stop = true;
        break;
    case kControlPause:
        report(State::Paused);
        break;
    case kControlContinue:
        report(State::Running);
        break;
    case 201:
        _exit(7);
    default:
        report(currentState());
    }
}

void serviceMain() {
    g_handle = registerControlHandler(kName, handler);
    if (g_handle == 0) {
        return;
    }
    report(State::StartPending);
    while (access(dataFile("hold").c_str(), F_OK) == 0) {
        usleep(1000);
    }
    report(State::Running);
    (void)reportReady(g_handle);
    while (!g_stop) {
        usleep(1000);
    }
    report(State::Stopped);
}

} // namespace

int main() {
    blockControlSignals();
    const int error = runDispatcher(kName, serviceMain);
    if (error != 0) {
        append("refused", std::to_string(error));
        return 3;
    }
    return 0;
}
