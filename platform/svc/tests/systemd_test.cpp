#include "platform/svc/registry.h"
#include "platform/svc/systemd_manager.h"
#include "platform/svc/tests/scratch_registry.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace platform::svc {
namespace {

using testing::ScratchRegistry;
using Calls = std::vector<std::vector<std::string>>;

const ServiceConfig kOstrum{"Ostrum", "Ostrum Service", "/opt/ostrum/ostrum", StartMode::Automatic};

TEST(UnitFile, ByteForByte) {
    EXPECT_EQ(unitFileText(kOstrum), "[Unit]\n"
                                     "Description=Ostrum Service\n"
                                     "\n"
                                     "[Service]\n"
                                     "Type=notify\n"
                                     "ExecStart=:\"/opt/ostrum/ostrum\"\n"
                                     "Restart=no\n"
                                     "KillMode=process\n"
                                     "LimitNOFILE=524288\n"
                                     "\n"
                                     "[Install]\n"
                                     "WantedBy=multi-user.target\n");
    EXPECT_EQ(unitName("Ostrum"), "ostrum.service");
}

TEST(UnitFile, SpecialCharactersAreEscapedAndReadBack) {
    struct Case {
        std::string display;
        std::string program;
        std::string descriptionLine;
        std::string execLine;
    };
    const Case cases[] = {
        {"100% Ostrum", "/opt/my progs/ostrum", "Description=100%% Ostrum",
         "ExecStart=:\"/opt/my progs/ostrum\""},
        {"a", "/opt/$HOME/$$/%n", "Description=a", "ExecStart=:\"/opt/$HOME/$$/%%n\""},
        {"b", "/opt/\"q\"/back\\slash", "Description=b",
         "ExecStart=:\"/opt/\\\"q\\\"/back\\\\slash\""},
    };
    for (const Case& c : cases) {
        const ServiceConfig config{"x", c.display, c.program, StartMode::Automatic};
        const std::string text = unitFileText(config);
        EXPECT_NE(text.find("\n" + c.descriptionLine + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + c.execLine + "\n"), std::string::npos) << text;
        ServiceConfig read;
        ASSERT_TRUE(parseUnitFile(text, read)) << text;
        EXPECT_EQ(read.displayName, c.display);
        EXPECT_EQ(read.program, c.program);
    }
}

TEST(UnitFile, MalformedUnitsAreRefused) {
    const std::string cases[] = {
        "",
        "[Service]\nType=notify\n",
        "ExecStart=\n",
        "ExecStart=\"\"\n",
        "ExecStart=\"/opt/ostrum\n",
        "ExecStart=\"/opt/ostrum\" -x\n",
        "ExecStart=\"/opt/ostrum\\\n",
        std::string(70000, '"'),
    };
    for (const std::string& text : cases) {
        ServiceConfig read;
        EXPECT_FALSE(parseUnitFile(text, read)) << text;
    }
    ServiceConfig read;
    ASSERT_TRUE(parseUnitFile("ExecStart=/usr/bin/plain\n", read));
    EXPECT_EQ(read.program, "/usr/bin/plain");
    ASSERT_TRUE(parseUnitFile("ExecStart=\"/opt/a$$b\"\n", read)) << "units of earlier installs";
    EXPECT_EQ(read.program, "/opt/a$b");
}

// systemd itself reads the unit: the program of a folder with "$", "%" and
// blanks in its name is the one it would start.
TEST(UnitFile, SystemdTakesTheProgramPath) {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "systemd-analyze is not installed";
    }
    const ScratchRegistry scratch;
    const std::string folder = scratch.path() + "/a $HOME $$ %n";
    std::filesystem::create_directory(folder);
    const std::string program = folder + "/ostrum";
    ASSERT_EQ(writeFileAtomically(program, "#!/bin/sh\n"), 0);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const ServiceConfig config{"ostrumcheck", "Ostrum Service", program, StartMode::Automatic};
    const std::string unit = scratch.path() + "/ostrumcheck.service";
    ASSERT_EQ(writeFileAtomically(unit, unitFileText(config)), 0);
    const std::string output = scratch.path() + "/verify.txt";
    const int status = std::system(
        ("systemd-analyze verify --man=no '" + unit + "' >'" + output + "' 2>&1").c_str());
    std::string said;
    ASSERT_EQ(readFileText(output, said), 0);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said.find("ostrumcheck.service"), std::string::npos) << said;
}

TEST(SystemdStatus, StatesFromShow) {
    struct Case {
        std::string show;
        State state;
        pid_t pid;
    };
    const Case cases[] = {
        {"ActiveState=active\nStatusText=Running\nMainPID=42\n", State::Running, 42},
        {"MainPID=42\nActiveState=active\nStatusText=Paused\n", State::Paused, 42},
        {"ActiveState=active\nStatusText=Pause Pending\nMainPID=42\n", State::PausePending, 42},
        {"ActiveState=active\nStatusText=\nMainPID=42\n", State::Running, 42},
        {"ActiveState=reloading\nStatusText=whatever\nMainPID=42\n", State::Running, 42},
        {"ActiveState=activating\nStatusText=Start Pending\nMainPID=42\n", State::StartPending, 42},
        {"ActiveState=deactivating\nMainPID=42\n", State::StopPending, 42},
        {"ActiveState=inactive\nStatusText=Running\nMainPID=0\n", State::Stopped, 0},
        {"ActiveState=failed\nMainPID=42\n", State::Stopped, 0},
        {"ActiveState=active\nMainPID=-3\n", State::Running, 0},
        {"ActiveState=active\nMainPID=99999999999\n", State::Running, 0},
        {"", State::Stopped, 0},
        {"garbage\n\n==\n", State::Stopped, 0},
    };
    for (const Case& c : cases) {
        pid_t pid = -1;
        const ServiceStatus status = statusFromShow(c.show, pid);
        EXPECT_EQ(status.currentState, c.state) << c.show;
        EXPECT_EQ(pid, c.pid) << c.show;
        EXPECT_EQ(status.controlsAccepted, c.state == State::StartPending ? 0u : 7u) << c.show;
    }
}

TEST(SystemdStatus, NotifyTexts) {
    EXPECT_EQ(notifyText(State::StartPending, false), "STATUS=Start Pending");
    EXPECT_EQ(notifyText(State::Running, false), "STATUS=Running") << "not ready before its work";
    EXPECT_EQ(notifyText(State::Running, true), "READY=1\nSTATUS=Running");
    EXPECT_EQ(notifyText(State::Paused, true), "STATUS=Paused");
    EXPECT_EQ(notifyText(State::StopPending, true), "STOPPING=1\nSTATUS=Stop Pending");
    EXPECT_EQ(notifyText(State::Stopped, false), "STOPPING=1\nSTATUS=Stopped");
}

// systemctl as a table: the answer to each command word, every call recorded.
class FakeSystemctl {
public:
    struct Answer {
        int status = 0;
        std::string output;
    };
    void answer(const std::string& word, Answer a) { m_answers[word] = std::move(a); }
    const Calls& calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

    SystemctlRunner runner() {
        return [this](const std::vector<std::string>& args, std::string& output) {
            m_calls.push_back(args);
            const Answer& a = m_answers[args.front()];
            output = a.output;
            return a.status;
        };
    }

private:
    std::map<std::string, Answer> m_answers;
    Calls m_calls;
};

class SystemdBackend : public ::testing::Test {
protected:
    std::string unitFile() const { return m_units.file("ostrum.service"); }

    ScratchRegistry m_units;
    FakeSystemctl m_systemctl;
    SystemdManager manager{m_units.path(), m_systemctl.runner()};
};

TEST_F(SystemdBackend, InstallWritesTheUnitAndEnablesIt) {
    ASSERT_EQ(manager.install(kOstrum), 0);
    std::string text;
    ASSERT_EQ(readFileText(unitFile(), text), 0);
    EXPECT_EQ(text, unitFileText(kOstrum));
    EXPECT_EQ(m_systemctl.calls(), (Calls{{"daemon-reload"}, {"enable", "ostrum.service"}}));
    EXPECT_TRUE(manager.isInstalled("OSTRUM"));
    EXPECT_EQ(manager.install(kOstrum), kErrorExists);

    m_systemctl.answer("is-enabled", {0, "enabled\n"});
    ServiceConfig read;
    ASSERT_EQ(manager.queryConfig("Ostrum", read), 0);
    EXPECT_EQ(read.displayName, "Ostrum Service");
    EXPECT_EQ(read.program, "/opt/ostrum/ostrum");
    EXPECT_EQ(read.startMode, StartMode::Automatic);
    m_systemctl.answer("is-enabled", {1, "disabled\n"});
    ASSERT_EQ(manager.queryConfig("Ostrum", read), 0);
    EXPECT_EQ(read.startMode, StartMode::Disabled);
}

TEST_F(SystemdBackend, FailedEnableLeavesNothingBehind) {
    m_systemctl.answer("enable", {1, ""});
    EXPECT_EQ(manager.install(kOstrum), kErrorManager);
    EXPECT_FALSE(std::filesystem::exists(unitFile()));
    ServiceConfig disabled = kOstrum;
    disabled.startMode = StartMode::Disabled;
    m_systemctl.clear();
    EXPECT_EQ(manager.install(disabled), 0);
    EXPECT_EQ(m_systemctl.calls(), (Calls{{"daemon-reload"}}));
}

TEST_F(SystemdBackend, RefusesTextsAUnitCannotHold) {
    const ServiceConfig bad[] = {
        {"Ostrum", "two\nlines", "/opt/ostrum", StartMode::Automatic},
        {"Ostrum", "continued\\", "/opt/ostrum", StartMode::Automatic},
        {"Ostrum", "x", "/opt/\nostrum", StartMode::Automatic},
        {"Ostrum", "x", "/opt/\"q\"/ostrum", StartMode::Automatic},
        {"Ostrum", "x", "/opt/back\\slash/ostrum", StartMode::Automatic},
        {"Ostrum", "x", "/opt/it's/ostrum", StartMode::Automatic},
        {"Ostrum", "x", "/opt/\x01/ostrum", StartMode::Automatic},
        {"Ostrum", "x", "", StartMode::Automatic},
        {"../x", "x", "/opt/ostrum", StartMode::Automatic},
    };
    for (const ServiceConfig& config : bad) {
        EXPECT_EQ(manager.install(config), kErrorInvalid) << config.displayName;
    }
    EXPECT_TRUE(m_systemctl.calls().empty());
}

TEST_F(SystemdBackend, StartStopAndControls) {
    ASSERT_EQ(manager.install(kOstrum), 0);
    m_systemctl.answer("is-enabled", {1, "disabled\n"});
    m_systemctl.clear();
    EXPECT_EQ(manager.start("Ostrum"), kErrorDisabled);
    EXPECT_EQ(m_systemctl.calls(), (Calls{{"is-enabled", "ostrum.service"}}));

    m_systemctl.answer("is-enabled", {0, "enabled\n"});
    m_systemctl.answer("show", {0, "ActiveState=inactive\nMainPID=0\n"});
    m_systemctl.clear();
    EXPECT_EQ(manager.start("Ostrum"), 0);
    EXPECT_EQ(m_systemctl.calls().back(), (std::vector<std::string>{"start", "ostrum.service"}));
    EXPECT_EQ(manager.control("Ostrum", kControlStop), kErrorNotActive);

    m_systemctl.answer("show", {0, "ActiveState=active\nStatusText=Running\nMainPID=42\n"});
    EXPECT_EQ(manager.start("Ostrum"), kErrorAlreadyRunning);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId("Ostrum", pid), 0);
    EXPECT_EQ(pid, 42);
    m_systemctl.clear();
    EXPECT_EQ(manager.control("Ostrum", kControlStop), 0);
    EXPECT_EQ(m_systemctl.calls().back(),
              (std::vector<std::string>{"stop", "--no-block", "ostrum.service"}));
    EXPECT_EQ(manager.control("Ostrum", kControlShutdown), kErrorInvalid);

    m_systemctl.answer("show", {0, "ActiveState=activating\nMainPID=42\n"});
    EXPECT_EQ(manager.control("Ostrum", kControlStop), kErrorCannotAccept);
    m_systemctl.answer("show", {1, ""});
    ServiceStatus status;
    EXPECT_EQ(manager.queryStatus("Ostrum", status), kErrorManager);
}

TEST_F(SystemdBackend, StartModeAndRemoval) {
    ASSERT_EQ(manager.install(kOstrum), 0);
    m_systemctl.clear();
    EXPECT_EQ(manager.changeStartMode("Ostrum", StartMode::Disabled), 0);
    EXPECT_EQ(manager.changeStartMode("Ostrum", StartMode::Automatic), 0);
    EXPECT_EQ(m_systemctl.calls(),
              (Calls{{"disable", "ostrum.service"}, {"enable", "ostrum.service"}}));
    m_systemctl.clear();
    EXPECT_EQ(manager.remove("ostrum"), 0);
    EXPECT_EQ(m_systemctl.calls(), (Calls{{"disable", "ostrum.service"}, {"daemon-reload"}}));
    EXPECT_FALSE(std::filesystem::exists(unitFile()));
    EXPECT_FALSE(manager.isInstalled("Ostrum"));
    EXPECT_EQ(manager.remove("Ostrum"), kErrorNotInstalled);
    EXPECT_EQ(manager.changeStartMode("Ostrum", StartMode::Disabled), kErrorNotInstalled);
    ServiceStatus status;
    EXPECT_EQ(manager.queryStatus("Ostrum", status), kErrorNotInstalled);
    EXPECT_EQ(manager.start("Ostrum"), kErrorNotInstalled);
}

} // namespace
} // namespace platform::svc
