#include "service/regex_pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "service/trace.h"

namespace ostrum {
namespace {

PCRE2_SPTR bytesOf(std::string_view subject) {
    return reinterpret_cast<PCRE2_SPTR>(subject.data() != nullptr ? subject.data() : "");
}

// Bounds that keep any one value from running a match away: the step limit
// covers both the JIT and the interpreter, the depth limit the interpreter's
// backtracking memory.
constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 10'000;
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 1024 * 1024;
constexpr uint32_t kOvectorPairs = 16;

// The match state of one thread, made on its first match.
class ThreadMatchState {
public:
    ThreadMatchState()
        : m_context(pcre2_match_context_create(nullptr)),
          m_stack(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)),
          m_data(pcre2_match_data_create(kOvectorPairs, nullptr)) {
        if (m_context != nullptr) {
            pcre2_set_match_limit(m_context, kMatchLimit);
            pcre2_set_depth_limit(m_context, kDepthLimit);
            if (m_stack != nullptr) {
                pcre2_jit_stack_assign(m_context, nullptr, m_stack);
            }
        }
    }

    ~ThreadMatchState() {
        pcre2_match_data_free(m_data);
        pcre2_jit_stack_free(m_stack);
        pcre2_match_context_free(m_context);
    }

    ThreadMatchState(const ThreadMatchState&) = delete;
    ThreadMatchState& operator=(const ThreadMatchState&) = delete;

    bool usable() const { return m_context != nullptr && m_data != nullptr; }
    pcre2_match_context* context() const { return m_context; }
    pcre2_match_data* data() const { return m_data; }

private:
    pcre2_match_context* m_context;
    pcre2_jit_stack* m_stack;
    pcre2_match_data* m_data;
};

ThreadMatchState& threadState() {
    thread_local ThreadMatchState state;
    return state;
}

MatchResult classify(int rc) {
    if (rc >= 0) {
        return MatchResult::Match;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
        return MatchResult::NoMatch;
    }
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
        rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        OST_TRACE("pcre2 match stopped by its limit (%d)", rc);
        return MatchResult::LimitExceeded;
    }
    OST_TRACE("pcre2 match error %d", rc);
    return MatchResult::Error;
}

} // namespace

bool RegexPattern::anchoredAtStart() const {
    uint32_t options = 0;
    return pcre2_pattern_info(m_code, PCRE2_INFO_ALLOPTIONS, &options) == 0 &&
           (options & PCRE2_ANCHORED) != 0;
}

bool RegexPattern::startsWithLineFeed() const {
    uint32_t type = 0;
    uint32_t unit = 0;
    return pcre2_pattern_info(m_code, PCRE2_INFO_FIRSTCODETYPE, &type) == 0 && type == 1 &&
           pcre2_pattern_info(m_code, PCRE2_INFO_FIRSTCODEUNIT, &unit) == 0 &&
           unit == '\n';
}

std::shared_ptr<const RegexPattern> RegexPattern::compile(std::string_view pattern, Mode mode,
                                                          CompileError* error) {
    uint32_t options = 0;
    pcre2_compile_context* context = nullptr;
    if (mode == Mode::WholeLine) {
        options = PCRE2_ANCHORED | PCRE2_ENDANCHORED;
        context = pcre2_compile_context_create(nullptr);
        if (context != nullptr) {
            pcre2_set_newline(context, PCRE2_NEWLINE_ANYCRLF);
        }
    }
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled =
        pcre2_compile(bytesOf(pattern), pattern.size(), options, &code, &offset, context);
    pcre2_compile_context_free(context);
    if (compiled == nullptr) {
        if (error != nullptr) {
            PCRE2_UCHAR text[256];
            pcre2_get_error_message(code, text, sizeof text);
            *error = CompileError{code, size_t(offset), reinterpret_cast<const char*>(text)};
        }
        return nullptr;
    }
    const bool jit = pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE) == 0;
    return std::shared_ptr<const RegexPattern>(new RegexPattern(compiled, jit));
}

RegexPattern::~RegexPattern() { pcre2_code_free(m_code); }

MatchResult RegexPattern::match(std::string_view subject) const {
    ThreadMatchState& state = threadState();
    if (!state.usable()) {
        return MatchResult::Error;
    }
    // The JIT entry skips the interpreter's checks, half of a short match's time.
    const int rc = m_jit ? pcre2_jit_match(m_code, bytesOf(subject), subject.size(), 0, 0,
                                           state.data(), state.context())
                         : pcre2_match(m_code, bytesOf(subject), subject.size(), 0, 0, state.data(),
                                       state.context());
    return classify(rc);
}

MatchResult RegexPattern::capture(std::string_view subject,
                                  std::vector<std::string_view>& groups) const {
    groups.clear();
    ThreadMatchState& state = threadState();
    if (!state.usable()) {
        return MatchResult::Error;
    }
    uint32_t groupCount = 0;
    pcre2_pattern_info(m_code, PCRE2_INFO_CAPTURECOUNT, &groupCount);
    // A pattern with more groups than the shared vector holds gets its own.
    const std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)> own(
        groupCount < kOvectorPairs ? nullptr
                                   : pcre2_match_data_create_from_pattern(m_code, nullptr),
        pcre2_match_data_free);
    pcre2_match_data* data = own != nullptr ? own.get() : state.data();
    const int rc =
        pcre2_match(m_code, bytesOf(subject), subject.size(), 0, 0, data, state.context());
    const MatchResult result = classify(rc);
    if (result != MatchResult::Match) {
        return result;
    }
    const uint32_t available = pcre2_get_ovector_count(data);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    for (uint32_t i = 1; i <= groupCount; ++i) {
        if (i >= available || ovector[2 * i] == PCRE2_UNSET) {
            groups.emplace_back();
            continue;
        }
        groups.push_back(subject.substr(ovector[2 * i], ovector[2 * i + 1] - ovector[2 * i]));
    }
    return result;
}

} // namespace ostrum
