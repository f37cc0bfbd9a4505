#include "service/rulenode.h"

#include "service/decoders.h"
#include "service/trace.h"

#include <utility>

namespace ostrum {
namespace {

struct TokenCode {
    std::string_view token;
    int32_t code;
};

constexpr TokenCode kPositions[] = {
    {"any", POS_ANY},         {"method", POS_METHOD},   {"url", POS_URL},
    {"argget", POS_ARGGET},   {"ver", POS_VER},         {"host", POS_HOST},
    {"agent", POS_AGENT},     {"referer", POS_REFERER}, {"proxy", POS_PROXY},
    {"cip", POS_CIP},         {"alan", POS_ALAN},       {"cookie", POS_COOKIE},
    {"argpost", POS_ARGPOST}, {"arg", POS_ARG},
};
constexpr TokenCode kTransforms[] = {{"raw", TRA_RAW}, {"normal", TRA_NORMAL}};
constexpr TokenCode kCompares[] = {
    {"find", CM_FIND}, {"regex", CM_REGEX}, {"!regex", CM_NOT_REGEX}};
constexpr TokenCode kHandles[] = {{"block", HD_BLOCK}, {"log", HD_LOG}};

template <size_t N> int32_t codeOf(const TokenCode (&table)[N], std::string token) {
    toLower(token);
    for (const TokenCode& row : table) {
        if (row.token == token) {
            return row.code;
        }
    }
    return 0;
}

void traceHit(const char* what, std::string_view value) {
    OST_TRACE("rulenode::match %s match! string=%.*s", what, int(value.size()), value.data());
}

} // namespace

rulenode::rulenode() {
    OST_TRACE_TEXT("rulenode constuct");
}

rulenode::rulenode(const rulenode& other) = default;

rulenode& rulenode::operator=(const rulenode& other) = default;

rulenode::~rulenode() {
    OST_TRACE_TEXT("rulenode destoried");
}

bool rulenode::set(int32_t newId, int32_t newTar, int32_t newTra, int32_t newCm, int32_t newHd,
                   std::string newPat) {
    if (newPat.empty()) {
        return false;
    }
    id = newId;
    tar = newTar;
    tra = newTra;
    cm = newCm;
    hd = newHd;
    pat = std::move(newPat);
    compiled.reset();
    if (cm != CM_REGEX && cm != CM_NOT_REGEX) {
        return true;
    }
    RegexPattern::CompileError error;
    compiled = RegexPattern::compile(pat, RegexPattern::Mode::Search, &error);
    if (compiled == nullptr) {
        OST_TRACE_TEXT("pcre_compile failed!");
        OST_TRACE("%s (error %d at offset %zu: %s)", pat.c_str(), error.code, error.offset,
                  error.message.c_str());
        return false;
    }
    return true;
}

bool rulenode::match(int32_t position, std::string_view value, bool useUtf8) {
    if (!appliesTo(position)) {
        return false;
    }
    if (tra != TRA_NORMAL) {
        return compare(value);
    }
    std::string normal;
    normalForm(value, useUtf8, normal);
    return compare(normal);
}

int32_t rulenode::parseTar(std::string token) {
    return codeOf(kPositions, std::move(token));
}

int32_t rulenode::parseTra(std::string token) {
    return codeOf(kTransforms, std::move(token));
}

int32_t rulenode::parseCm(std::string token) {
    return codeOf(kCompares, std::move(token));
}

int32_t rulenode::parseHd(std::string token) {
    return codeOf(kHandles, std::move(token));
}

std::string rulenode::decodeLower(std::string value) {
    return ostrum::decodeLower(value);
}

bool rulenode::appliesTo(int32_t position) const {
    if (tar == POS_ANY || tar == position) {
        return true;
    }
    return tar == POS_ARG &&
           (position == POS_ARGGET || position == POS_COOKIE || position == POS_ARGPOST);
}

bool rulenode::compare(std::string_view value) const {
    switch (cm) {
    case CM_FIND:
        if (value.find(pat) == std::string_view::npos) {
            return false;
        }
        traceHit("str", value);
        return true;
    case CM_REGEX:
        if (compiled == nullptr || compiled->match(value) != MatchResult::Match) {
            return false;
        }
        traceHit("regex", value);
        return true;
    case CM_NOT_REGEX:
        if (compiled == nullptr || compiled->match(value) == MatchResult::Match) {
            return false;
        }
        traceHit("!regex", value);
        return true;
    default:
        return false;
    }
}

} // namespace ostrum
