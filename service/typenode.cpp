#include "service/typenode.h"

#include "service/decoders.h"
#include "service/trace.h"

#include <utility>

namespace ostrum {

typenode::typenode() {
    OST_TRACE_TEXT("typenode constuct");
}

typenode::typenode(const typenode& other)
    : index(other.index), name(other.name), pat(other.pat), compiled(other.compiled) {
    OST_TRACE_TEXT("typenode constuct");
}

typenode& typenode::operator=(const typenode& other) = default;

typenode::~typenode() {
    OST_TRACE_TEXT("typenode destoried");
}

bool typenode::set(std::string newName, std::string pattern, int32_t newIndex) {
    if (newName.empty() || pattern.empty()) {
        return false;
    }
    name = std::move(newName);
    index = newIndex;
    pat = std::move(pattern);
    RegexPattern::CompileError error;
    compiled = RegexPattern::compile(pat, RegexPattern::Mode::Search, &error);
    if (compiled == nullptr) {
        OST_TRACE_TEXT("pcre_compile failed in typenode::set!");
        OST_TRACE_TEXT(pat);
        OST_TRACE("error %d at offset %zu: %s", error.code, error.offset, error.message.c_str());
        return false;
    }
    return true;
}

bool typenode::match(std::string value) {
    toLower(value);
    return compiled != nullptr && compiled->match(value) == MatchResult::Match;
}

bool typenode::matches(std::string_view value) const {
    if (compiled == nullptr) {
        return false;
    }
    // One buffer per thread keeps the per-value loops free of allocations.
    thread_local std::string lowered;
    lowered.assign(value);
    toLower(lowered);
    return compiled->match(lowered) == MatchResult::Match;
}

} // namespace ostrum
