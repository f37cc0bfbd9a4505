#include "platform/proc/proc_stat.h"

#include "platform/proc/proc_file.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace platform::proc {
namespace {

// Field numbers of proc(5), counted from 1; the state is field 3, the first
// after the command name.
constexpr size_t kFirstAfterName = 3;
constexpr size_t kUserTime = 14;
constexpr size_t kKernelTime = 15;
constexpr size_t kStartTime = 22;

std::vector<std::string_view> splitBlanks(std::string_view text) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find_first_not_of(" \n", pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(text.find_first_of(" \n", start), text.size());
        words.push_back(text.substr(start, end - start));
        pos = end;
    }
    return words;
}

bool toNumber(std::string_view word, uint64_t& out) {
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), out);
    return error == std::errc() && end == word.data() + word.size();
}

} // namespace

bool parseProcStat(std::string_view text, ProcStat& out) {
    // The command name may hold blanks and parentheses: it ends at the last ')'.
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return false;
    }
    const std::vector<std::string_view> fields = splitBlanks(text.substr(close + 1));
    const auto field = [&](size_t number) { return fields[number - kFirstAfterName]; };
    if (fields.size() <= kStartTime - kFirstAfterName || field(kFirstAfterName).size() != 1) {
        return false;
    }
    ProcStat parsed;
    parsed.comm = std::string(text.substr(open + 1, close - open - 1));
    parsed.state = field(kFirstAfterName)[0];
    if (!toNumber(field(kUserTime), parsed.userTicks) ||
        !toNumber(field(kKernelTime), parsed.kernelTicks) ||
        !toNumber(field(kStartTime), parsed.startTicks)) {
        return false;
    }
    out = std::move(parsed);
    return true;
}

bool readProcStat(pid_t pid, ProcStat& out) {
    if (pid <= 0) {
        return false;
    }
    std::string text;
    return readProcFile("/proc/" + std::to_string(pid) + "/stat", text) && parseProcStat(text, out);
}

bool isProcessAlive(pid_t pid, uint64_t startTicks) {
    ProcStat stat;
    if (!readProcStat(pid, stat)) {
        return false;
    }
    const bool ended = stat.state == 'Z' || stat.state == 'X' || stat.state == 'x';
    return !ended && (startTicks == 0 || stat.startTicks == startTicks);
}

} // namespace platform::proc
