#include "service/wblist.h"

#include "service/regex_pattern.h"

#include <array>
#include <memory>
#include <vector>

namespace ostrum {
namespace {

// In list-code order.
constexpr std::array<std::string_view, 8> kKeywords = {
    "WL_IP", "WL_URL", "WL_EXT", "WL_HOST", "BL_IP", "BL_URL", "BL_EXT", "BL_HOST",
};

const RegexPattern* entryPattern() {
    static const std::shared_ptr<const RegexPattern> pattern = RegexPattern::compile(
        R"re((WL_IP|BL_IP|WL_URL|BL_URL|WL_EXT|BL_EXT|WL_HOST|BL_HOST)\s+"(.+)")re",
        RegexPattern::Mode::WholeLine);
    return pattern.get();
}

} // namespace

int listCodeOf(std::string_view keyword) {
    for (size_t code = 0; code < kKeywords.size(); ++code) {
        if (kKeywords[code] == keyword) {
            return int(code);
        }
    }
    return -1;
}

std::string_view listKeyword(int listcode) {
    if (listcode < 0 || size_t(listcode) >= kKeywords.size()) {
        return {};
    }
    return kKeywords[size_t(listcode)];
}

void lowerListValue(std::string& value) {
    for (char& c : value) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
}

bool parseListLine(const std::string& line, wblistitem& item) {
    const RegexPattern* pattern = entryPattern();
    std::vector<std::string_view> groups;
    if (pattern == nullptr || pattern->capture(line, groups) != MatchResult::Match ||
        groups.size() != 2) {
        return false;
    }
    const int code = listCodeOf(groups[0]);
    if (code < 0) {
        return false;
    }
    item.listcode = code;
    item.value.assign(groups[1]);
    lowerListValue(item.value);
    return true;
}

} // namespace ostrum
