#include "service/config.h"

#include "platform/ini.h"
#include "service/line_reader.h"
#include "service/trace.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>

namespace ostrum {
namespace {

constexpr const char* kFileName = "ostrum.cfg";
// Far beyond 32 bits, small enough that one more digit cannot overflow.
constexpr int64_t kSaturated = int64_t(1) << 40;

struct FlagKey {
    std::string_view key;
    const char* word;
    bool config::*field;
};

struct CountKey {
    std::string_view key;
    const char* word;
    uint32_t config::*field;
    uint32_t fallback;
};

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number at the start of text as strtol reads it: leading white space and
// one sign allowed, text after the digits ignored. A number too long for 32
// bits saturates, so that the caller can clamp it.
std::optional<int64_t> leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i])) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kSaturated);
    }
    return negative ? -value : value;
}

// A negative count would wrap round to a huge one; it is refused instead.
std::optional<uint32_t> readCount(const char* word, std::string_view value) {
    const std::optional<int64_t> number = leadingNumber(value);
    if (!number) {
        return std::nullopt;
    }
    if (*number < 0) {
        OST_TRACE("parseline %s: negative value refused", word);
        return std::nullopt;
    }
    constexpr int64_t kMax = std::numeric_limits<uint32_t>::max();
    if (*number > kMax) {
        OST_TRACE("parseline %s: value clamped to %u", word, uint32_t(kMax));
        return uint32_t(kMax);
    }
    return uint32_t(*number);
}

void applyFlag(config& settings, const FlagKey& key, std::string_view value) {
    settings.*key.field = value == "1";
    OST_TRACE("parseline %s=%d", key.word, int(settings.*key.field));
}

void applyCount(config& settings, const CountKey& key, std::string_view value) {
    const std::optional<uint32_t> number = readCount(key.word, value);
    if (number) {
        settings.*key.field = *number == 0 ? key.fallback : *number;
    }
    OST_TRACE("parseline %s=%u", key.word, settings.*key.field);
}

void applyRunMod(int32_t& runMod, std::string_view value) {
    const std::optional<int64_t> number = leadingNumber(value);
    if (number) {
        constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
        constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
        if (*number < kMin || *number > kMax) {
            OST_TRACE("parseline runmod: value clamped to 32 bits");
        }
        const int32_t mode = int32_t(std::clamp(*number, kMin, kMax));
        runMod = mode < 0 ? 2 : mode;
    }
    OST_TRACE("parseline runmod=%d", runMod);
}

void addPorts(std::vector<uint16_t>& ports, std::string_view word, std::string_view value) {
    OST_TRACE("parseline %.*s=%.*s", int(word.size()), word.data(), int(value.size()),
              value.data());
    size_t start = 0;
    while (start <= value.size()) {
        const size_t bar = std::min(value.find('|', start), value.size());
        const std::optional<int64_t> port = leadingNumber(value.substr(start, bar - start));
        if (port && *port >= 1 && *port <= 65535) {
            ports.push_back(uint16_t(*port));
            OST_TRACE("parseline %.*s=%u", int(word.size()), word.data(), unsigned(*port));
        }
        start = bar + 1;
    }
}

bool isComment(const std::string& line) {
    return line.size() < 3 || line[0] == '#' || line == "[setting]";
}

std::string settingsPath(const std::string& folder) {
    if (folder.empty()) {
        return kFileName;
    }
    return folder.back() == '/' ? folder + kFileName : folder + "/" + kFileName;
}

} // namespace

config::config() {
    OST_TRACE_TEXT("config constuct");
}

config::~config() {
    OST_TRACE_TEXT("config destoried");
}

int config::loadConfig() {
    // A folder (or a pipe) of that name opens, but reads as nothing.
    std::error_code error;
    LineReader reader(filename);
    if (!std::filesystem::is_regular_file(filename, error) || !reader.isOpen()) {
        OST_TRACE_TEXT("Failed to open ostrum.cfg !\n");
        return -1;
    }
    std::string line;
    while (reader.next(line)) {
        if (isComment(line)) {
            OST_TRACE_TEXT("config comment:" + line);
            continue;
        }
        OST_TRACE_TEXT("config line:" + line);
        parseline(line);
    }
    return 0;
}

int config::parseline(std::string line) {
    static constexpr FlagKey kFlags[] = {
        {"write_detaillog", "debuglog", &config::write_detaillog},
        {"action_block", "block", &config::action_block},
        {"self_learn", "bselftlearn", &config::self_learn},
        {"limit_conn", "blimitconn", &config::limit_conn},
        {"block_when_conn", "blockconn", &config::block_when_conn},
        {"active_wblist", "bactwblist", &config::active_wblist},
        {"auto_update_report", "bautoupdate", &config::auto_update_report},
        {"use_utf8", "useutf8", &config::use_utf8},
    };
    static constexpr CountKey kCounts[] = {
        {"block_when_n", "blockn", &config::block_when_n, 1},
        {"block_agin_when_m", "blockm", &config::block_agin_when_m, 1},
        {"block_time_length", "blocklen", &config::block_time_length, 60},
        {"block_max_time_len", "blockmlen", &config::block_max_time_len, 3600},
        {"self_learn_max_count", "selflearnmaxcount", &config::self_learn_max_count, 10},
        {"tcp_conn_timeout", "tcpconntimeout", &config::tcp_conn_timeout, 120},
        {"max_logfile_size", "maxlogfilesize", &config::max_logfile_size, 100},
        {"max_logfile_store_time", "maxlogfilestoretime", &config::max_logfile_store_time, 10},
    };
    const size_t equals = line.find('=');
    if (line.size() < 3 || equals == std::string::npos || equals == 0) {
        return 0;
    }
    const std::string_view key(line.data(), equals);
    const std::string_view value = std::string_view(line).substr(equals + 1);
    for (const FlagKey& flag : kFlags) {
        if (flag.key == key) {
            applyFlag(*this, flag, value);
            return 0;
        }
    }
    for (const CountKey& count : kCounts) {
        if (count.key == key) {
            applyCount(*this, count, value);
            return 0;
        }
    }
    if (key == "run_mod") {
        applyRunMod(run_mod, value);
    } else if (key == "filt_http_port" || key == "filt_https_port") {
        addPorts(ports, key, value);
    } else if (key == "last_update_date") {
        last_update_date = value;
        OST_TRACE_TEXT("parseline last_update_date=" + last_update_date);
    }
    return 0;
}

void config::writeUpgradeRecord(std::string date, std::string folder) {
    last_update_date = date;
    if (!platform::writeProfileString("setting", "last_update_date", date, settingsPath(folder))) {
        OST_TRACE_TEXT("Failed to write upgrade record!");
    }
}

} // namespace ostrum
