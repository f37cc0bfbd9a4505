#pragma once

#include "service/param_key.h"
#include "service/request_values.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrum {

class HttpFilter;

// Where a value sits in the request and what a hit there is called. A
// position without a patch letter has no patch rules and no learning; param
// names the parameter of a single-valued position.
struct CheckPosition {
    int32_t code;
    std::string_view label;
    char patchLetter;
    std::string_view param;
    std::string_view patchLabel;
    char learnLetter;
};

namespace positions {
inline constexpr CheckPosition kCookie{POS_COOKIE, "cookie", 'c', {}, "cookie", 'C'};
inline constexpr CheckPosition kPost{POS_ARGPOST, "arg_post", 'p', {}, "arg_post", 'P'};
inline constexpr CheckPosition kMethod{POS_METHOD, "method", 0, {}, {}, 0};
inline constexpr CheckPosition kUrl{POS_URL, "url", 0, {}, {}, 0};
inline constexpr CheckPosition kQuery{POS_ARGGET, "arg_get", 'g', {}, "arg_get", 'G'};
inline constexpr CheckPosition kVersion{POS_VER, "httpver", 0, {}, {}, 0};
inline constexpr CheckPosition kReferer{POS_REFERER, "referer", 'r', "referer", "referer", 'R'};
inline constexpr CheckPosition kCip{POS_CIP, "cip", 'i', "client-ip", "cip", 'I'};
inline constexpr CheckPosition kAgent{POS_AGENT, "agent", 'u', "user-agent", "user-agent", 'U'};
inline constexpr CheckPosition kHost{POS_HOST, "host", 0, {}, {}, 0};
inline constexpr CheckPosition kProxy{POS_PROXY,         "proxy",           'x',
                                      "x-forwarded-for", "x-forwarded-for", 'X'};
inline constexpr CheckPosition kAlan{POS_ALAN, "alan", 'a', "accept-language", "alan", 'A'};
} // namespace positions

// A request that hits this many rules is an attack beyond doubt; a record
// more tells nothing new, yet each carries the URL, which may take most of
// the request's 1 MiB. So the records of one request stay linear in its size.
constexpr size_t kRecordsPerRequestMax = 32;

// Runs the values of one request through the attack rules and, failing
// them, the patch rules and self-learning, writing one record per hit, up
// to kRecordsPerRequestMax; every hit counts for blocking.
class ValueCheck {
public:
    ValueCheck(HttpFilter& filter, RequestValues& values);

    void variables(const PairList& pairs, const CheckPosition& position);
    void value(const CheckPosition& position, std::string_view text);
    // Each line of a header field; one empty value when there is none.
    void values(const CheckPosition& position, const FieldValues& texts);
    // Tells the run log how many hits of the request went unwritten, if any.
    void finish();

private:
    void check(const CheckPosition& position, std::string_view param, std::string_view text);
    void verdict(const CheckPosition& position, std::string_view param, std::string_view text,
                 const rulematch& match);
    bool closeOnHit();
    void attackRuleHit(const CheckPosition& position, const rulematch& match);
    void patchRuleCheck(const CheckPosition& position, std::string_view param,
                        std::string_view text);
    void learn(const CheckPosition& position, std::string_view param, std::string_view text);
    ParamKeyBuilder& keys();
    void record(std::string_view label, std::string_view kind, int32_t ruleId);

    HttpFilter& m_filter;
    RequestValues& m_values;
    const bool m_useUtf8;
    // Made at the first key the request needs: none without patch rules or
    // learning.
    std::optional<ParamKeyBuilder> m_keys;
    size_t m_records = 0;
};

} // namespace ostrum
