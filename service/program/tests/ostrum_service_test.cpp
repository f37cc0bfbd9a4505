#include "platform/netfilter/fake/fake_netfilter.h"
#include "platform/svc/dispatcher.h"
#include "platform/svc/status_sink.h"
#include "platform/testing/fake_clock.h"
#include "service/program/ostrum_service.h"
#include "service/tests/temp_folder.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace ostrum {
namespace {

using std::chrono::milliseconds;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

void writeScript(const std::string& name, const std::string& body) {
    writeFile(name, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(name, std::filesystem::perms::owner_all);
}

// Waits until the file holds something; the stand-ins run on their own.
std::string waitForFile(const std::string& name) {
    while (readFile(name).empty()) {
        usleep(1000);
    }
    return readFile(name);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The service in a fresh program folder, with the updater's calls counted.
class CountingService final : public OstrumService {
public:
    explicit CountingService(const std::string& folder) : OstrumService(folder + "/ostrum") {}
    bool startUpdater() override {
        ++updaterStarts;
        return OstrumService::startUpdater();
    }
    std::atomic<int> updaterStarts{0};
};

class ServiceBody : public ::testing::Test {
protected:
    void SetUp() override {
        fakenet::reset();
        // Stand-ins for the web server's restart and the updater.
        writeScript("iisreset", "pwd > iisreset-started.txt");
        writeScript("update", "pwd >> update-started.txt");
    }

    // Runs the loop on a thread until it has woken up n times, then stops it.
    void runFor(CountingService& service, unsigned wakeUps) {
        service.setLoopIntervalForTest(milliseconds(1));
        std::thread body([&service] { service.run(); });
        while (service.wakeUpsForTest() < wakeUps && service.startResult() >= 0) {
            usleep(500);
        }
        service.onStop();
        body.join();
    }

    std::string folder() const { return std::filesystem::canonical(m_folder.path()).string(); }

    TempFolder m_folder;
    platform::FakeClock m_clock;
};

TEST_F(ServiceBody, EntersTheProgramFolder) {
    std::filesystem::create_directory("sub");
    CountingService service(folder() + "/sub");
    EXPECT_EQ(service.modulePath(), folder() + "/sub/ostrum");
    EXPECT_EQ(service.appdir(), folder() + "/sub");
    EXPECT_EQ(std::filesystem::current_path(), folder() + "/sub");
    EXPECT_FALSE(service.running());
    EXPECT_FALSE(service.paused());
    EXPECT_EQ(service.startResult(), 0);
}

TEST_F(ServiceBody, DailyCheckStartsTheUpdaterOnceBetweenOneAndFivePast) {
    struct Case {
        int hour;
        int minute;
        const char* autoUpdate;
        const char* lastUpdate;
        int starts;
    };
    const Case cases[] = {
        {1, 3, "1", "0", 1},  {1, 0, "1", "0", 1},  {1, 5, "1", "0", 1},
        {1, 6, "1", "0", 0},  {0, 59, "1", "0", 0}, {2, 3, "1", "0", 0},
        {13, 3, "1", "0", 0}, {1, 3, "0", "0", 0},  {1, 3, "1", "2026-01-02", 0},
    };
    for (const Case& c : cases) {
        std::ostringstream what;
        what << c.hour << ":" << c.minute << " auto=" << c.autoUpdate << " last=" << c.lastUpdate;
        std::filesystem::remove("update-started.txt");
        writeFile("ostrum.cfg", std::string("[setting]\nauto_update_report=") + c.autoUpdate +
                                    "\nlast_update_date=" + c.lastUpdate + "\n");
        m_clock.setDate(2026, 1, 2, c.hour, c.minute);
        CountingService service(folder());
        runFor(service, 20);
        EXPECT_EQ(service.updaterStarts, c.starts) << what.str();
        if (c.starts == 1) {
            // It runs in the program folder, and the day is recorded.
            EXPECT_EQ(waitForFile("update-started.txt"), folder() + "\n") << what.str();
            EXPECT_TRUE(contains(readFile("ostrum.cfg"), "last_update_date=2026-01-02"))
                << what.str();
        }
    }
}

TEST_F(ServiceBody, WebServerRestartOnceFilteringRuns) {
    CountingService service(folder());
    runFor(service, 1);
    EXPECT_EQ(service.startResult(), 0);
    EXPECT_EQ(waitForFile("iisreset-started.txt"), folder() + "\n");
    EXPECT_TRUE(contains(readFile("log/ostrum.log"), "ostrum start!"));
    EXPECT_TRUE(readFile("log/ostrum.log").ends_with("ostrum stop!\r\n") ||
                readFile("log/ostrum.log").ends_with("ostrum stop!\n"));
}

TEST_F(ServiceBody, MissingHelpersFailSilently) {
    std::filesystem::remove("iisreset");
    std::filesystem::remove("update");
    writeFile("ostrum.cfg", "[setting]\nauto_update_report=1\n");
    m_clock.setDate(2026, 1, 2, 1, 3);
    CountingService service(folder());
    runFor(service, 5);
    EXPECT_EQ(service.updaterStarts, 1);
    EXPECT_EQ(service.startResult(), 0);
}

TEST_F(ServiceBody, DisabledProtectionEndsTheRun) {
    writeFile("ostrum.cfg", "[setting]\nrun_mod=3\n");
    CountingService service(folder());
    service.run();
    EXPECT_EQ(service.startResult(), -1);
    EXPECT_EQ(service.wakeUpsForTest(), 0u);
    EXPECT_TRUE(
        contains(readFile("log/ostrum.log"), "Failed to start.Ostrum was set to Disabled."));
    EXPECT_FALSE(std::filesystem::exists("iisreset-started.txt"));
}

TEST_F(ServiceBody, StopWakesTheSleepingLoop) {
    CountingService service(folder());
    service.setLoopIntervalForTest(std::chrono::hours(1));
    std::thread body([&service] { service.run(); });
    while (!contains(readFile("log/ostrum.log"), "ostrum start!")) {
        usleep(1000);
    }
    service.onStop();
    body.join();
    EXPECT_FALSE(service.running());
    EXPECT_EQ(service.updaterStarts, 0);
}

TEST_F(ServiceBody, StopBeforeTheRunStartsNothing) {
    CountingService service(folder());
    service.onStop();
    service.run();
    EXPECT_FALSE(service.running());
    EXPECT_TRUE(fakenet::calls().rulePorts.empty());
    EXPECT_FALSE(contains(readFile("log/ostrum.log"), "ostrum st"));
}

TEST_F(ServiceBody, ObjectGoesOnlyAfterTheLoopLeft) {
    auto service = std::make_unique<CountingService>(folder());
    service->setLoopIntervalForTest(std::chrono::hours(1));
    CountingService* const running = service.get();
    std::thread body([running] { running->run(); });
    while (!contains(readFile("log/ostrum.log"), "ostrum start!")) {
        usleep(1000);
    }
    service.reset();
    body.join();
}

TEST_F(ServiceBody, NoFilteredPortEndsTheRunWithItsCode) {
    writeFile("ostrum.cfg", "[setting]\nfilt_http_port=81\n");
    fakenet::calls().ruleResults[81] = nfapi::NF_STATUS_IO_ERROR;
    CountingService service(folder());
    service.run();
    EXPECT_EQ(service.startResult(), -4);
    EXPECT_EQ(service.serviceExitCode(), 4);
    EXPECT_FALSE(std::filesystem::exists("iisreset-started.txt"));
}

// systemd's notify socket, played by the test: each message with the number
// of port rules the layer had taken when it arrived.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const timeval guard{60, 0}; // against a hang only
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
        setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~NotifySocket() {
        unsetenv("NOTIFY_SOCKET");
        close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // False when nothing came.
    bool receive(std::string& text, size_t& rules) {
        char buffer[512];
        const ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
        rules = fakenet::calls().rulePorts.size();
        text.assign(buffer, got > 0 ? size_t(got) : 0);
        return got > 0;
    }

private:
    int m_fd = -1;
};

TEST_F(ServiceBody, ReadyGoesToSystemdOnlyOnceThePortsAreFiltered) {
    writeFile("ostrum.cfg", "[setting]\nfilt_http_port=81|82\n");
    NotifySocket notify(folder() + "/notify");
    CountingService service(folder());
    service.setLoopIntervalForTest(std::chrono::hours(1));
    std::thread dispatcher([] {
        EXPECT_EQ(platform::svc::runDispatcherWith("Ostrum", &BaseService::serviceMain,
                                                   platform::svc::systemdSinkForTest()),
                  0);
    });
    std::vector<std::string> texts;
    std::string text;
    size_t rules = 0;
    while (notify.receive(text, rules) && !contains(text, "READY=1")) {
        texts.push_back(text);
    }
    EXPECT_EQ(rules, 2u) << "READY=1 came before the ports were filtered: " << text;
    EXPECT_EQ(texts.front(), "STATUS=Start Pending");
    for (const std::string& early : texts) {
        EXPECT_FALSE(contains(early, "READY=1")) << early;
    }
    BaseService::controlHandler(platform::svc::kControlStop);
    dispatcher.join();
}

TEST_F(ServiceBody, PauseChangesOnlyTheFlag) {
    CountingService service(folder());
    service.onPause();
    EXPECT_TRUE(service.paused());
    service.onContinue();
    EXPECT_FALSE(service.paused());
}

} // namespace
} // namespace ostrum
