#pragma once

// The interception layer's own settings, read from netfilter.ini in the data
// folder given to pf_init:
//   [upstream]  P=host:port        where the web server of filtered port P listens
//   [setting]   listen=, threads=, header_limit=, header_timeout=, request_timeout=,
//               idle_timeout=, forward_client=none|x-forwarded-for|proxy-v1

#include <chrono>
#include <cstdint>
#include <string>

namespace platform::netfilter {

enum class ForwardClient { None, XForwardedFor, ProxyV1 };

// How long a request may take from its first byte to its last while the
// filter holds it. A held request is at most about 1 MiB, which comes in
// this time at 9 KB/s; a client trickling it cannot keep it held for ever.
inline constexpr std::chrono::seconds kRequestTimeout{120};

struct Settings {
    std::string path; // of netfilter.ini
    std::string listen = "0.0.0.0";
    unsigned threads = 1;
    uint32_t headerLimit = 65536;
    std::chrono::seconds headerTimeout{30};
    std::chrono::seconds requestTimeout = kRequestTimeout;
    std::chrono::seconds idleTimeout{120};
    ForwardClient forwardClient = ForwardClient::None;
};

// Reads folder/netfilter.ini; false when the file cannot be read. A value
// that is not understood keeps its default (and is traced); numbers are
// clamped to sensible ranges.
[[nodiscard]] bool readSettings(const std::string& folder, Settings& settings);

// The "host:port" text configured for a local port, empty when there is none.
std::string upstreamText(const Settings& settings, uint16_t port);

// Splits "host:port" or "[v6]:port"; false when it is not of that shape.
[[nodiscard]] bool splitHostPort(const std::string& text, std::string& host, std::string& port);

} // namespace platform::netfilter
