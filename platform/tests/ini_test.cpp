#include "platform/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class IniFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = (std::filesystem::temp_directory_path() /
                  ("ostrum-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cfg"))
                     .string();
        std::filesystem::remove(m_path);
    }
    void TearDown() override { std::filesystem::remove(m_path); }

    void write(const std::string& content) {
        std::ofstream(m_path, std::ios::binary) << content;
    }
    std::string content() const {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string read(const std::string& section, const std::string& key,
                     const std::string& fallback = "none") const {
        return platform::readProfileString(section, key, fallback, m_path);
    }

    std::string m_path;
};

TEST_F(IniFile, ReadsKeysWithoutRegardToCaseAndTrimsValues) {
    write("; comment\r\n[Setting]\r\nRun_Mod = 1 \r\nquoted=\"a b\"\r\nsingle='x'\r\nempty=\r\n"
          "[other]\r\nui_lan=2\r\n");
    EXPECT_EQ(read("setting", "run_mod"), "1");
    EXPECT_EQ(read("SETTING", "RUN_MOD"), "1");
    EXPECT_EQ(read("setting", "quoted"), "a b");
    EXPECT_EQ(read("setting", "single"), "x");
    EXPECT_EQ(read("setting", "empty"), "");
    EXPECT_EQ(read("setting", "ui_lan"), "none") << "a key of another section is not seen";
    EXPECT_EQ(read("other", "ui_lan"), "2");
}

TEST_F(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(read("setting", "run_mod", "2 "), "2");
    write("[setting]\nrun_mod=1\n");
    EXPECT_EQ(read("nosuch", "run_mod"), "none");
    EXPECT_EQ(read("setting", "nosuch"), "none");
}

TEST_F(IniFile, ReplacesAKeyInPlaceAndKeepsEveryOtherLine) {
    const std::string before = "# head\r\n[setting]\r\nrun_mod=1\r\nLast_Update_Date=0\r\n"
                               "odd line \x01\xff\r\n[other]\r\nlast_update_date=keep\r\n";
    write(before);
    ASSERT_TRUE(platform::writeProfileString("setting", "last_update_date", "2026-12-09", m_path));
    EXPECT_EQ(content(), "# head\r\n[setting]\r\nrun_mod=1\r\nlast_update_date=2026-12-09\r\n"
                         "odd line \x01\xff\r\n[other]\r\nlast_update_date=keep\r\n");
}

TEST_F(IniFile, AddsKeyAtTheEndOfItsSectionOrANewSection) {
    write("[setting]\nrun_mod=1\n\n[other]\nx=1\n");
    ASSERT_TRUE(platform::writeProfileString("setting", "ui_lan", "0", m_path));
    EXPECT_EQ(content(), "[setting]\nrun_mod=1\nui_lan=0\n\n[other]\nx=1\n")
        << "LF files stay LF";
    ASSERT_TRUE(platform::writeProfileString("third", "k", "v", m_path));
    EXPECT_EQ(content(), "[setting]\nrun_mod=1\nui_lan=0\n\n[other]\nx=1\n[third]\nk=v\n");
}

TEST_F(IniFile, CreatesTheFileAndEndsALastLineWithoutLineEnd) {
    ASSERT_TRUE(platform::writeProfileString("setting", "rule_ver", "1.0", m_path));
    EXPECT_EQ(content(), "[setting]\r\nrule_ver=1.0\r\n");
    write("[setting]\r\nrun_mod=1");
    ASSERT_TRUE(platform::writeProfileString("setting", "ui_lan", "1", m_path));
    EXPECT_EQ(content(), "[setting]\r\nrun_mod=1\r\nui_lan=1\r\n");
    EXPECT_EQ(read("setting", "ui_lan"), "1");
}

TEST_F(IniFile, WriteFailsWhenTheFolderIsMissing) {
    EXPECT_FALSE(platform::writeProfileString("setting", "k", "v", "/nonexistent-dir/x.cfg"));
}

// No caller can split a line: a line break or NUL in any part is refused.
TEST_F(IniFile, TextsThatWouldSplitTheLineAreRefused) {
    const std::string before = "[setting]\r\nrule_ver=1.0\r\n";
    write(before);
    const std::string bad[] = {"1.5\nrun_mod=3", "1.5\r", std::string("1.5\0x", 5), "\n"};
    for (const std::string& text : bad) {
        EXPECT_FALSE(platform::writeProfileString("setting", "rule_ver", text, m_path)) << text;
        EXPECT_FALSE(platform::writeProfileString("setting", text, "1", m_path)) << text;
        EXPECT_FALSE(platform::writeProfileString(text, "rule_ver", "1", m_path)) << text;
    }
    EXPECT_EQ(content(), before);
}

TEST_F(IniFile, AFolderOfThatNameIsNoFile) {
    std::filesystem::create_directory(m_path);
    EXPECT_EQ(read("setting", "k", "fallback"), "fallback");
    EXPECT_FALSE(platform::writeProfileString("setting", "k", "v", m_path));
    std::filesystem::remove(m_path);
}

} // namespace
