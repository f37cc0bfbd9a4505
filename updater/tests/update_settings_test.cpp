#include "updater/update_settings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace ostrum::updater {
namespace {

namespace fs = std::filesystem;

TEST(UpdateAddresses, PiecesThenTheBuiltInAddress) {
    struct Case {
        std::string upUrl;
        std::vector<std::string> expected;
    };
    const std::string builtIn(kDefaultUpdateAddress);
    const Case cases[] = {
        {"", {builtIn}},
        {"http://a/u/", {"http://a/u/", builtIn}},
        {"http://a/u, http://b/u", {"http://a/u", " http://b/u", builtIn}},
        {"a,,b,", {"a", "", "b", "", builtIn}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(updateAddresses(c.upUrl), c.expected) << c.upUrl;
    }
    EXPECT_TRUE(builtIn.ends_with("/update/"));
    EXPECT_NE(builtIn.find(".invalid/"), std::string::npos);
}

class SettingsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / ("update_settings_" + std::to_string(getpid()));
        fs::create_directories(m_folder);
        m_base = m_folder.string() + "/";
    }
    void TearDown() override { fs::remove_all(m_folder); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(m_folder / name, std::ios::binary) << text;
    }

    fs::path m_folder;
    std::string m_base;
};

TEST_F(SettingsFolder, MissingFilesGiveTheDefaults) {
    const UpdateSettings settings = readUpdateSettings(m_base);
    EXPECT_EQ(settings.settingFile, m_base + "ostrum.cfg");
    EXPECT_EQ(settings.updateSettingFile, m_base + "update.ini");
    EXPECT_EQ(settings.ftpHost, kDefaultReportHost);
    EXPECT_EQ(settings.ftpPort, "8621");
    EXPECT_EQ(settings.upUrl, "");
    EXPECT_EQ(settings.ostrumVer, "2.0");
    EXPECT_EQ(settings.ruleVer, "1.0");
    EXPECT_EQ(settings.driverVer, "1.0");
}

TEST_F(SettingsFolder, ValuesAsWrittenAnEmptyPortStaysEmpty) {
    write("update.ini", "[setting]\r\nftp_host=10.0.0.1\r\nftp_port=\r\n"
                        "up_url=  http://a/u/,http://b/u/  \r\n");
    write("ostrum.cfg", "[setting]\nostrum_ver=9.0\nrule_ver=\ndriver_ver=3\n");
    const UpdateSettings settings = readUpdateSettings(m_base);
    EXPECT_EQ(settings.ftpHost, "10.0.0.1");
    EXPECT_EQ(settings.ftpPort, "");
    EXPECT_EQ(settings.upUrl, "http://a/u/,http://b/u/");
    EXPECT_EQ(settings.ostrumVer, "9.0");
    EXPECT_EQ(settings.ruleVer, "");
    EXPECT_EQ(settings.driverVer, "3");
}

TEST_F(SettingsFolder, LongValuesAreCutAndVersionsWritten) {
    write("update.ini", "[setting]\nup_url=" + std::string(300, 'u') + "\n");
    EXPECT_EQ(readUpdateSettings(m_base).upUrl, std::string(255, 'u'));

    write("ostrum.cfg", "# kept\r\n[setting]\r\nrule_ver=1.0\r\n");
    ASSERT_TRUE(writeIniSetting("rule_ver", "1.5", m_base + "ostrum.cfg"));
    ASSERT_TRUE(writeIniSetting("driver_ver", "2.0", m_base + "ostrum.cfg"));
    const UpdateSettings settings = readUpdateSettings(m_base);
    EXPECT_EQ(settings.ruleVer, "1.5");
    EXPECT_EQ(settings.driverVer, "2.0");
}

} // namespace
} // namespace ostrum::updater
