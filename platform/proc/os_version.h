#pragma once

#include <string>
#include <string_view>

namespace platform::proc {

struct OsVersion {
    // Kernel version numbers ("6.1.0" gives 6, 1, 0).
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    std::string name;   // the distribution's name, "Debian GNU/Linux 12 (bookworm)"
    std::string detail; // the kernel release, "6.1.0-18-amd64"
};

OsVersion osVersion();

// name, a blank and detail.
std::string osVersionText();

// PRETTY_NAME of an os-release text, unquoted; empty when there is none.
std::string prettyName(std::string_view osRelease);

// Reads "6.1.0-18-amd64" into the three numbers; missing parts stay 0.
void parseKernelRelease(std::string_view release, OsVersion& out);

} // namespace platform::proc
