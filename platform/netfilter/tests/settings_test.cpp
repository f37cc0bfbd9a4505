#include "platform/netfilter/settings.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace {

using platform::netfilter::ForwardClient;
using platform::netfilter::Settings;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("ostrum-nf-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    Settings read(const std::string& content) {
        std::ofstream(m_folder / "netfilter.ini") << content;
        Settings settings;
        EXPECT_TRUE(platform::netfilter::readSettings(m_folder.string(), settings));
        return settings;
    }

    std::filesystem::path m_folder;
};

TEST_F(SettingsTest, MissingFileIsAFailure) {
    Settings settings;
    EXPECT_FALSE(platform::netfilter::readSettings((m_folder / "none").string(), settings));
}

TEST_F(SettingsTest, DefaultsServeWhenKeysAreMissing) {
    const Settings settings = read("[upstream]\n80=127.0.0.1:8080\n");
    EXPECT_EQ(settings.listen, "0.0.0.0");
    EXPECT_EQ(settings.threads, std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(settings.headerLimit, 65536u);
    EXPECT_EQ(settings.headerTimeout.count(), 30);
    EXPECT_EQ(settings.requestTimeout, platform::netfilter::kRequestTimeout);
    EXPECT_EQ(settings.idleTimeout.count(), 120);
    EXPECT_EQ(settings.forwardClient, ForwardClient::None);
}

TEST_F(SettingsTest, ReadsEveryKeyAndDropsTrailingComments) {
    const Settings settings = read("[upstream]\r\n"
                                   "80=127.0.0.1:8080        ; the web server\r\n"
                                   "[Setting]\r\n"
                                   "LISTEN=::1 ; loopback only\r\n"
                                   "threads=3\r\n"
                                   "header_limit=4096\r\n"
                                   "header_timeout=5\r\n"
                                   "request_timeout=9\r\n"
                                   "idle_timeout=60\r\n"
                                   "forward_client=proxy-v1\r\n");
    EXPECT_EQ(settings.listen, "::1");
    EXPECT_EQ(settings.threads, 3u);
    EXPECT_EQ(settings.headerLimit, 4096u);
    EXPECT_EQ(settings.headerTimeout.count(), 5);
    EXPECT_EQ(settings.requestTimeout.count(), 9);
    EXPECT_EQ(settings.idleTimeout.count(), 60);
    EXPECT_EQ(settings.forwardClient, ForwardClient::ProxyV1);
    EXPECT_EQ(platform::netfilter::upstreamText(settings, 80), "127.0.0.1:8080");
    EXPECT_EQ(platform::netfilter::upstreamText(settings, 81), "");
}

TEST_F(SettingsTest, BadOrHugeNumbersAreKeptInBounds) {
    const struct {
        const char* line;
        unsigned threads;
        uint32_t headerLimit;
    } cases[] = {
        {"threads=0\nheader_limit=10", std::max(1u, std::thread::hardware_concurrency()), 1024},
        {"threads=99999999999999999999999\nheader_limit=99999999999", 256, 16u << 20},
        {"threads=two\nheader_limit=-5", std::max(1u, std::thread::hardware_concurrency()), 65536},
        {"threads= 7 \nheader_limit=8k", 7, 65536},
    };
    for (const auto& c : cases) {
        const Settings settings = read(std::string("[setting]\n") + c.line + "\n");
        EXPECT_EQ(settings.threads, c.threads) << c.line;
        EXPECT_EQ(settings.headerLimit, c.headerLimit) << c.line;
    }
    const Settings times =
        read("[setting]\nheader_timeout=0\nrequest_timeout=0\nidle_timeout=999999999\n");
    EXPECT_EQ(times.headerTimeout.count(), 1);
    EXPECT_EQ(times.requestTimeout.count(), 1);
    EXPECT_EQ(times.idleTimeout.count(), 86400);
}

TEST_F(SettingsTest, ForwardClientChoices) {
    EXPECT_EQ(read("[setting]\nforward_client=x-forwarded-for\n").forwardClient,
              ForwardClient::XForwardedFor);
    EXPECT_EQ(read("[setting]\nforward_client=none\n").forwardClient, ForwardClient::None);
    EXPECT_EQ(read("[setting]\nforward_client=bogus\n").forwardClient, ForwardClient::None);
}

TEST(SplitHostPort, TakesNamesAddressesAndBracketedIpv6) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        const char* port;
    } cases[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", "8080"},
        {"localhost:80", true, "localhost", "80"},
        {"[::1]:8443", true, "::1", "8443"},
        {"::1:80", false, "", ""},
        {"[::1]", false, "", ""},
        {"host:", false, "", ""},
        {":80", false, "", ""},
        {"8080", false, "", ""},
        {"[]:80", false, "", ""},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string host;
        std::string port;
        ASSERT_EQ(platform::netfilter::splitHostPort(c.text, host, port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

} // namespace
