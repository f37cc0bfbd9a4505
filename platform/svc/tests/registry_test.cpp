#include "platform/proc/proc_stat.h"
#include "platform/svc/registry.h"
#include "platform/svc/tests/scratch_registry.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace platform::svc {
namespace {

using testing::ScratchRegistry;

std::string fileText(const std::string& path) {
    std::string text;
    EXPECT_EQ(readFileText(path, text), 0) << path;
    return text;
}

TEST(ServiceRecord, WrittenAndReadBack) {
    const ServiceConfig configs[] = {
        {"Ostrum", "Ostrum Service", "/opt/ostrum/ostrum", StartMode::Automatic},
        {"x", "", "/a b/c=d", StartMode::Disabled},
    };
    for (const ServiceConfig& config : configs) {
        ServiceConfig read;
        ASSERT_TRUE(parseServiceRecord(formatServiceRecord(config), read)) << config.name;
        EXPECT_EQ(read.name, config.name);
        EXPECT_EQ(read.displayName, config.displayName);
        EXPECT_EQ(read.program, config.program);
        EXPECT_EQ(read.startMode, config.startMode);
    }
    EXPECT_EQ(formatServiceRecord(configs[0]),
              "name=Ostrum\ndisplay_name=Ostrum Service\nprogram=/opt/ostrum/ostrum\n"
              "start_mode=Automatic\n");
}

TEST(ServiceRecord, MalformedRecordsAreRefused) {
    const std::string refused[] = {
        "",
        "program=/x\n",
        "name=Ostrum\n",
        "name=Ostrum\nprogram=\n",
        "name=../x\nprogram=/x\n",
        "name=Ostrum\r\nprogram=/x\r\n",
        "=Ostrum\n=program\n",
        std::string("name=Ost\0rum\nprogram=/x", 24),
        std::string(100000, '='),
        "\xff\xfe\x00\x01",
    };
    for (const std::string& text : refused) {
        ServiceConfig read;
        read.name = "kept";
        EXPECT_FALSE(parseServiceRecord(text, read)) << text;
        EXPECT_EQ(read.name, "kept") << text;
    }
    ServiceConfig read;
    ASSERT_TRUE(parseServiceRecord("junk\nname=A\nprogram=/x\nstart_mode=Bogus\nother=1", read));
    EXPECT_EQ(read.startMode, StartMode::Automatic);
    EXPECT_EQ(read.displayName, "");
}

TEST(StatusRecord, WrittenAndReadBack) {
    StatusRecord record;
    record.pid = 4321;
    record.startTicks = 0xffffffffffULL;
    record.token = "00ff";
    record.status = {16, State::Paused, 7, 1, 2, 3, 2000};
    record.controlSent = 9;
    record.controlDone = 8;
    record.ready = true;
    const StatusRecord read = parseStatusRecord(formatStatusRecord(record));
    EXPECT_TRUE(read.ready);
    EXPECT_EQ(read.pid, 4321);
    EXPECT_EQ(read.startTicks, 0xffffffffffULL);
    EXPECT_EQ(read.token, "00ff");
    EXPECT_EQ(read.status.currentState, State::Paused);
    EXPECT_EQ(read.status.controlsAccepted, 7u);
    EXPECT_EQ(read.status.exitCode, 1u);
    EXPECT_EQ(read.status.serviceSpecificExitCode, 2u);
    EXPECT_EQ(read.status.checkPoint, 3u);
    EXPECT_EQ(read.status.waitHint, 2000u);
    EXPECT_EQ(read.controlSent, 9u);
    EXPECT_EQ(read.controlDone, 8u);
}

TEST(StatusRecord, BadFieldsKeepTheirDefaults) {
    const std::string cases[] = {
        "state=9\ncontrols=4294967296\npid=-5\n",
        "state=0\ncontrols=-1\npid=99999999999\n",
        "state=4x\ncontrols=7 \npid= 12\n",
        "state=\ncontrols=\npid=\n",
        "state=4\rcontrols=7\n",
        std::string("state=4\0", 8),
        std::string(50000, '\n'),
    };
    for (const std::string& text : cases) {
        const StatusRecord read = parseStatusRecord(text);
        EXPECT_EQ(read.status.currentState, State::Stopped) << text;
        EXPECT_EQ(read.status.controlsAccepted, 0u) << text;
        EXPECT_EQ(read.pid, 0) << text;
    }
}

TEST(Registry, WritesReplaceFilesWhole) {
    ScratchRegistry root;
    const Registry registry(root.path());
    ServiceConfig config{"Ostrum", "Ostrum Service", "/opt/ostrum/ostrum", StartMode::Automatic};
    ASSERT_EQ(registry.writeConfig(config), 0);
    ASSERT_EQ(registry.writeStatus("Ostrum", StatusRecord{}), 0);
    // A reader that opened the old file keeps it whole: rename swaps the files.
    std::filesystem::create_hard_link(registry.configPath("Ostrum"), root.file("config.old"));
    std::filesystem::create_hard_link(registry.statusPath("Ostrum"), root.file("status.old"));
    const std::string oldConfig = fileText(root.file("config.old"));
    const std::string oldStatus = fileText(root.file("status.old"));

    config.startMode = StartMode::Disabled;
    ASSERT_EQ(registry.writeConfig(config), 0);
    StatusRecord running;
    running.status.currentState = State::Running;
    ASSERT_EQ(registry.writeStatus("OSTRUM", running), 0);

    EXPECT_EQ(fileText(root.file("config.old")), oldConfig);
    EXPECT_EQ(fileText(root.file("status.old")), oldStatus);
    EXPECT_EQ(fileText(registry.configPath("Ostrum")), formatServiceRecord(config));
    EXPECT_EQ(registry.readStatus("ostrum").status.currentState, State::Running);
    EXPECT_EQ(registry.configPath("OsTrUm"), root.file("ostrum.service"));
    for (const auto& entry : std::filesystem::directory_iterator(root.path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

TEST(Registry, MissingFolderAndFiles) {
    ScratchRegistry root;
    const Registry missing(root.file("none"));
    const Registry::Lock lock(missing, false);
    EXPECT_EQ(lock.error(), kErrorNotInstalled);
    EXPECT_EQ(writeFileAtomically(root.file("none/file"), "x"), ENOENT);
    EXPECT_FALSE(std::filesystem::exists(root.file("none")));

    const Registry registry(root.path());
    ServiceConfig config;
    EXPECT_EQ(registry.readConfig("Ostrum", config), kErrorNotInstalled);
    EXPECT_EQ(registry.readStatus("Ostrum").status.currentState, State::Stopped);
    EXPECT_EQ(registry.removeService("Ostrum"), kErrorNotInstalled);
}

TEST(Registry, EndedProcessReadsAsStoppedAndAnUnreadyOneAsStarting) {
    proc::ProcStat own;
    ASSERT_TRUE(proc::readProcStat(getpid(), own));
    struct Case {
        const char* what;
        pid_t pid;
        uint64_t startTicks;
        State reported;
        bool ready;
        State expected;
    };
    const Case cases[] = {
        {"own process", getpid(), own.startTicks, State::Running, true, State::Running},
        {"own process paused", getpid(), own.startTicks, State::Paused, true, State::Paused},
        {"running, not ready", getpid(), own.startTicks, State::Running, false,
         State::StartPending},
        {"stopping, not ready", getpid(), own.startTicks, State::StopPending, false,
         State::StopPending},
        {"id reused", getpid(), own.startTicks + 1, State::Running, true, State::Stopped},
        {"no process", 0, 0, State::StartPending, false, State::Stopped},
        {"no such process", 0x7ffffff0, 1, State::Running, false, State::Stopped},
        {"stopped", getpid(), own.startTicks, State::Stopped, false, State::Stopped},
    };
    for (const Case& c : cases) {
        StatusRecord record;
        record.pid = c.pid;
        record.startTicks = c.startTicks;
        record.status.currentState = c.reported;
        record.status.controlsAccepted = 7;
        record.ready = c.ready;
        const ServiceStatus status = effectiveStatus(record);
        EXPECT_EQ(status.currentState, c.expected) << c.what;
        if (c.expected != c.reported) {
            EXPECT_EQ(status.controlsAccepted, 0u) << c.what;
        }
    }
}

} // namespace
} // namespace platform::svc
