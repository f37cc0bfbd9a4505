#include "platform/proc/os_version.h"

#include "platform/proc/proc_file.h"

#include <charconv>
#include <sys/utsname.h>

namespace platform::proc {
namespace {

// One number at the front of text; the text moves past it and its dot.
unsigned takeNumber(std::string_view& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) {
        text = {};
        return 0;
    }
    text.remove_prefix(size_t(end - text.data()));
    if (!text.starts_with('.')) {
        text = {};
    } else {
        text.remove_prefix(1);
    }
    return value;
}

std::string unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

} // namespace

std::string prettyName(std::string_view osRelease) {
    constexpr std::string_view kKey = "PRETTY_NAME=";
    while (!osRelease.empty()) {
        const size_t end = osRelease.find('\n');
        std::string_view line = osRelease.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with(kKey)) {
            return unquoted(line.substr(kKey.size()));
        }
        osRelease = end == std::string_view::npos ? std::string_view() : osRelease.substr(end + 1);
    }
    return {};
}

void parseKernelRelease(std::string_view release, OsVersion& out) {
    out.major = takeNumber(release);
    out.minor = takeNumber(release);
    out.build = takeNumber(release);
}

OsVersion osVersion() {
    OsVersion version;
    utsname uts{};
    if (uname(&uts) == 0) {
        version.detail = uts.release;
        version.name = uts.sysname;
        parseKernelRelease(version.detail, version);
    }
    std::string text;
    std::string pretty = readProcFile("/etc/os-release", text) ? prettyName(text) : std::string();
    if (!pretty.empty()) {
        version.name = std::move(pretty);
    }
    return version;
}

std::string osVersionText() {
    const OsVersion version = osVersion();
    return version.name + " " + version.detail;
}

} // namespace platform::proc
