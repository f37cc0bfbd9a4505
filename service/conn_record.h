#pragma once

#include <cstdint>
#include <string>

namespace ostrum {

// One filtered connection of the connection table.
struct connrecord {
    std::string clientip;
    uint32_t clientaddr = 0; // IPv4 in host byte order, 0 for IPv6
    std::string clientport;
    std::string serverip;
    std::string serverport;
    bool counted = false; // the connection-limit range counted it when it opened
};

} // namespace ostrum
