#include "service/decoders.h"
#include "service/engine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Rules of at most this many lines of an input: enough for rules of every
// kind to compete, few enough to keep a compile per input quick.
constexpr size_t kMaxRules = 8;

const char* const kPositions[] = {"any", "url", "argget", "agent", "arg", "cookie", "alan"};
const char* const kCompares[] = {"find", "regex", "!regex"};

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
        lines.push_back(text.substr(0, lf));
        text.remove_prefix(lf + 1);
    }
    lines.push_back(text);
    return lines;
}

// A line's first byte chooses position, transform and compare; the rest is the pattern.
std::string ruleLine(size_t id, std::string_view line) {
    const auto choice = static_cast<unsigned char>(line[0]);
    return "RAWRULE \"" + std::to_string(id) + "," + kPositions[choice % std::size(kPositions)] +
           "," + ((choice & 0x80) != 0 ? "normal" : "raw") + "," +
           kCompares[(choice >> 3) % std::size(kCompares)] + ",log\" \"" +
           std::string(line.substr(1)) + "\"";
}

bool sameAnswer(const ostrum::rulematch& fast, const ostrum::rulematch& plain) {
    return fast.hit == plain.hit && (plain.hit == 0 || fast.id == plain.id);
}

} // namespace

// The first lines of an input are rules, the others values; the prefiltered
// match must give the answer of the walk over every rule, at every position.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string_view> lines =
        linesOf(std::string_view(reinterpret_cast<const char*>(data), size));
    ostrum::engine rules;
    size_t next = 0;
    for (; next < lines.size() && next < kMaxRules && lines[next].size() > 1; ++next) {
        (void)rules.addrulestr(ruleLine(next + 1, lines[next]));
    }
    std::string normal;
    // The values also go as one list, a form's fields in one scan: each
    // must get the answer it gets alone.
    ostrum::PairList list;
    for (; next < lines.size(); ++next) {
        // The line's normal form is mostly its own normal form, which the
        // prefilter scans once for both transforms.
        ostrum::normalForm(lines[next], false, normal);
        for (const std::string_view value : {lines[next], std::string_view(normal)}) {
            list.add("", list.keep(value));
            for (int32_t position = 0; position < ostrum::kPositionCount; ++position) {
                const bool utf8 = position % 2 == 0;
                if (!sameAnswer(rules.matchRules(position, value, utf8),
                                rules.matchRulesOneByOne(position, value, utf8))) {
                    std::abort();
                }
            }
        }
    }
    std::vector<ostrum::rulematch> answers;
    for (int32_t position = 0; position < ostrum::kPositionCount; ++position) {
        const bool utf8 = position % 2 == 0;
        rules.matchRulesList(position, list, utf8, answers);
        for (size_t i = 0; i < list.size(); ++i) {
            if (!sameAnswer(answers[i], rules.matchRulesOneByOne(position, list[i].second, utf8))) {
                std::abort();
            }
        }
    }
    return 0;
}
