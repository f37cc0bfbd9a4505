#include "platform/netfilter/settings.h"

#include "platform/ini.h"
#include "platform/netfilter/layer_trace.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <thread>

namespace platform::netfilter {
namespace {

// A value without its trailing "; comment" and blanks.
std::string valueOf(const Settings& settings, const char* section, const std::string& key) {
    std::string value = readProfileString(section, key, "", settings.path);
    value = value.substr(0, value.find(';'));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.pop_back();
    }
    return value;
}

uint64_t numberOf(const Settings& settings, const char* key, uint64_t fallback, uint64_t low,
                  uint64_t high) {
    const std::string text = valueOf(settings, "setting", key);
    if (text.empty()) {
        return fallback;
    }
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        value = high;
    } else if (error != std::errc() || end != text.data() + text.size()) {
        NF_TRACE("netfilter: setting %s=%s is not a number, %llu taken", key, text.c_str(),
                 static_cast<unsigned long long>(fallback));
        return fallback;
    }
    return std::clamp(value, low, high);
}

ForwardClient forwardClientOf(const Settings& settings) {
    const std::string text = valueOf(settings, "setting", "forward_client");
    if (text == "x-forwarded-for") {
        return ForwardClient::XForwardedFor;
    }
    if (text == "proxy-v1") {
        return ForwardClient::ProxyV1;
    }
    if (!text.empty() && text != "none") {
        NF_TRACE("netfilter: setting forward_client=%s is not known, none taken", text.c_str());
    }
    return ForwardClient::None;
}

} // namespace

bool readSettings(const std::string& folder, Settings& settings) {
    settings = Settings{};
    settings.path = folder + "/netfilter.ini";
    if (!std::ifstream(settings.path)) {
        return false;
    }
    const std::string listen = valueOf(settings, "setting", "listen");
    if (!listen.empty()) {
        settings.listen = listen;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    // 0, like a missing value, means one worker per core.
    const uint64_t threads = numberOf(settings, "threads", 0, 0, 256);
    settings.threads = threads == 0 ? cores : unsigned(threads);
    settings.headerLimit = uint32_t(numberOf(settings, "header_limit", 65536, 1024, 16 << 20));
    settings.headerTimeout =
        std::chrono::seconds(numberOf(settings, "header_timeout", 30, 1, 86400));
    settings.requestTimeout = std::chrono::seconds(
        numberOf(settings, "request_timeout", kRequestTimeout.count(), 1, 86400));
    settings.idleTimeout = std::chrono::seconds(numberOf(settings, "idle_timeout", 120, 1, 86400));
    settings.forwardClient = forwardClientOf(settings);
    return true;
}

std::string upstreamText(const Settings& settings, uint16_t port) {
    return valueOf(settings, "upstream", std::to_string(port));
}

bool splitHostPort(const std::string& text, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        return false;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        host = host.substr(1, host.size() - 2);
    }
    return host.find(':') == std::string::npos || text.front() == '[';
}

} // namespace platform::netfilter
