#pragma once

// The answers the layer gives a client on its own, when a request cannot be
// passed on as it stands.

#include <string_view>

namespace platform::netfilter {

struct LocalAnswer {
    std::string_view text;
    bool closes;        // the connection ends once it is written
    const char* reason; // for the trace
};

inline constexpr LocalAnswer kContinue{"HTTP/1.1 100 Continue\r\n\r\n", false, "100 Continue"};

inline constexpr LocalAnswer kBadRequest{
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n"
    "Connection: close\r\n\r\nBad Request\n",
    true, "400 Bad Request"};

inline constexpr LocalAnswer kHeaderTooLarge{
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain\r\n"
    "Content-Length: 32\r\nConnection: close\r\n\r\nRequest Header Fields Too Large\n",
    true, "431 Request Header Fields Too Large"};

inline constexpr LocalAnswer kPayloadTooLarge{
    "HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain\r\nContent-Length: 18\r\n"
    "Connection: close\r\n\r\nPayload Too Large\n",
    true, "413 Payload Too Large"};

inline constexpr LocalAnswer kBadGateway{
    "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n"
    "Connection: close\r\n\r\nBad Gateway\n",
    true, "502 Bad Gateway"};

} // namespace platform::netfilter
