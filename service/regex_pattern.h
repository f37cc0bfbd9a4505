#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;

namespace ostrum {

enum class MatchResult {
    Match,
    NoMatch,
    LimitExceeded, // the match or stack limit stopped the search
    Error,
};

// A compiled PCRE2 pattern: compiled once, JIT where the library can,
// matched on bytes with a per-thread match context, JIT stack and match data.
// Immutable after compilation, so one pattern serves every thread.
class RegexPattern {
public:
    enum class Mode {
        Search,    // options 0: bytes, case-sensitive, found anywhere
        WholeLine, // the pattern must span the whole subject; '.' stops at CR and LF
    };

    struct CompileError {
        int code = 0;
        size_t offset = 0;
        std::string message;
    };

    // nullptr when the pattern does not compile; error then says why.
    static std::shared_ptr<const RegexPattern> compile(std::string_view pattern, Mode mode,
                                                       CompileError* error = nullptr);

    ~RegexPattern();
    RegexPattern(const RegexPattern&) = delete;
    RegexPattern& operator=(const RegexPattern&) = delete;

    MatchResult match(std::string_view subject) const;

    // Matches and returns the capture groups 1..n as views into subject
    // (an unset group is empty).
    MatchResult capture(std::string_view subject, std::vector<std::string_view>& groups) const;

    bool jitCompiled() const { return m_jit; }
    // Whether every match starts at the subject's first byte.
    bool anchoredAtStart() const;
    // Whether every match starts with a line feed.
    bool startsWithLineFeed() const;

private:
    RegexPattern(pcre2_real_code_8* code, bool jit) : m_code(code), m_jit(jit) {}

    pcre2_real_code_8* m_code;
    bool m_jit;
};

} // namespace ostrum
