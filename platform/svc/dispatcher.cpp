#include "platform/svc/dispatcher.h"

#include "platform/descriptor.h"
#include "platform/svc/standalone_manager.h"
#include "platform/svc/status_sink.h"

#include <csignal>
#include <deque>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace platform::svc {
namespace {

struct Control {
    uint32_t code = 0;
    uint32_t sequence = 0; // 0: sent without one (SIGTERM)
};

// One dispatched service. Guarded by g_lock.
struct Session {
    std::string name;
    std::unique_ptr<StatusSink> sink;
    int wakeFd = -1;
    ControlHandlerFunction handler = nullptr;
    ServiceStatus status{kOwnProcess, State::StartPending};
    bool reported = false;
    std::deque<Control> pending;
    bool mainDone = false;
};

std::mutex g_lock;
Session* g_session = nullptr;

sigset_t controlSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, controlSignal());
    return set;
}

void wake(const Session& session) {
    const uint64_t one = 1;
    (void)!write(session.wakeFd, &one, sizeof one);
}

Control controlOf(const signalfd_siginfo& info) {
    if (int(info.ssi_signo) == SIGTERM) {
        return {kControlStop, 0};
    }
    const uint32_t value = uint32_t(info.ssi_int);
    return {value & 0xff, value >> 8};
}

// Controls wait for the first report. A stopped service takes no control but
// interrogate; others wait until the reported status accepts them, where a
// service manager would refuse them.
bool deliverable(const Session& session, const Control& control) {
    if (session.handler == nullptr || !session.reported) {
        return false;
    }
    if (session.status.currentState == State::Stopped) {
        return control.code == kControlInterrogate;
    }
    return acceptsControl(session.status.controlsAccepted, control.code);
}

ControlHandlerFunction takeDeliverable(Session& session, Control& out) {
    const std::lock_guard<std::mutex> guard(g_lock);
    for (auto it = session.pending.begin(); it != session.pending.end(); ++it) {
        if (deliverable(session, *it)) {
            out = *it;
            session.pending.erase(it);
            return session.handler;
        }
    }
    return nullptr;
}

// The handler runs without the lock: it reports, which takes it.
void deliverPending(Session& session) {
    Control control;
    while (const ControlHandlerFunction handler = takeDeliverable(session, control)) {
        handler(control.code);
        if (control.sequence != 0) {
            session.sink->controlDone(control.sequence);
        }
    }
}

bool mainDone(const Session& session) {
    const std::lock_guard<std::mutex> guard(g_lock);
    return session.mainDone;
}

void readSignals(Session& session, int signalFd) {
    signalfd_siginfo info{};
    while (read(signalFd, &info, sizeof info) == ssize_t(sizeof info)) {
        const std::lock_guard<std::mutex> guard(g_lock);
        session.pending.push_back(controlOf(info));
    }
}

void dispatchLoop(Session& session, int signalFd) {
    while (!mainDone(session)) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {session.wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            uint64_t count = 0;
            (void)!read(session.wakeFd, &count, sizeof count);
        }
        if ((fds[0].revents & POLLIN) != 0) {
            readSignals(session, signalFd);
        }
        deliverPending(session);
    }
}

std::unique_ptr<StatusSink> acceptedSink(std::string_view name) {
    std::unique_ptr<StatusSink> sink = acceptStandalone(name);
    return sink != nullptr ? std::move(sink) : acceptSystemd(name);
}

} // namespace

void blockControlSignals() {
    const sigset_t set = controlSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int runDispatcher(std::string_view name, ServiceMainFunction serviceMain) {
    if (!isValidServiceName(name)) {
        return kErrorNotService;
    }
    blockControlSignals();
    return runDispatcherWith(name, serviceMain, acceptedSink(name));
}

int runDispatcherWith(std::string_view name, ServiceMainFunction serviceMain,
                      std::unique_ptr<StatusSink> sink) {
    if (sink == nullptr) {
        return kErrorNotService;
    }
    const sigset_t set = controlSignals();
    const Descriptor signalFd(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    const Descriptor wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (signalFd.get() < 0 || wakeFd.get() < 0) {
        return errno;
    }
    Session session;
    session.name = std::string(name);
    session.sink = std::move(sink);
    session.wakeFd = wakeFd.get();
    {
        const std::lock_guard<std::mutex> guard(g_lock);
        if (g_session != nullptr) {
            return kErrorManager;
        }
        g_session = &session;
    }
    std::thread service([&session, serviceMain] {
        serviceMain();
        const std::lock_guard<std::mutex> guard(g_lock);
        session.mainDone = true;
        wake(session);
    });
    dispatchLoop(session, signalFd.get());
    service.join();
    const std::lock_guard<std::mutex> guard(g_lock);
    g_session = nullptr;
    return 0;
}

StatusHandle registerControlHandler(std::string_view name, ControlHandlerFunction handler) {
    const std::lock_guard<std::mutex> guard(g_lock);
    if (g_session == nullptr || handler == nullptr ||
        canonicalName(name) != canonicalName(g_session->name)) {
        return 0;
    }
    g_session->handler = handler;
    wake(*g_session);
    return reinterpret_cast<StatusHandle>(g_session);
}

bool setServiceStatus(StatusHandle handle, const ServiceStatus& status) {
    const std::lock_guard<std::mutex> guard(g_lock);
    if (handle == 0 || handle != reinterpret_cast<StatusHandle>(g_session)) {
        return false;
    }
    g_session->status = status;
    g_session->reported = true;
    wake(*g_session);
    return g_session->sink->report(status);
}

bool reportReady(StatusHandle handle) {
    const std::lock_guard<std::mutex> guard(g_lock);
    if (handle == 0 || handle != reinterpret_cast<StatusHandle>(g_session)) {
        return false;
    }
    return g_session->sink->ready(g_session->status);
}

} // namespace platform::svc
