#include "service/engine.h"
#include "service/verdict_cache.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace ostrum {
namespace {

TEST(VerdictCache, KnowsOnlyTheSameBytesAtTheSamePositionUnderTheSameRules) {
    VerdictCache cache;
    EXPECT_FALSE(cache.knownClean(1, POS_AGENT, false, "Mozilla/5.0"));
    cache.rememberClean(1, POS_AGENT, false, "Mozilla/5.0");
    EXPECT_TRUE(cache.knownClean(1, POS_AGENT, false, "Mozilla/5.0"));
    EXPECT_FALSE(cache.knownClean(1, POS_AGENT, false, "Mozilla/5.1"));
    EXPECT_FALSE(cache.knownClean(1, POS_AGENT, false, std::string("Mozilla/5.0\0", 12)));
    EXPECT_FALSE(cache.knownClean(1, POS_ALAN, false, "Mozilla/5.0"));
    EXPECT_FALSE(cache.knownClean(1, POS_AGENT, true, "Mozilla/5.0"));
    EXPECT_FALSE(cache.knownClean(2, POS_AGENT, false, "Mozilla/5.0"));

    const std::string longValue(513, 'a');
    cache.rememberClean(1, POS_COOKIE, false, longValue);
    EXPECT_FALSE(cache.knownClean(1, POS_COOKIE, false, longValue));
}

TEST(VerdictCache, CoversHeaderFieldsNeverQueryFormOrPath) {
    for (const int32_t position : {POS_METHOD, POS_VER, POS_HOST, POS_AGENT, POS_REFERER, POS_PROXY,
                                   POS_CIP, POS_ALAN, POS_COOKIE}) {
        EXPECT_TRUE(VerdictCache::covers(position)) << position;
    }
    for (const int32_t position : {int32_t(POS_ANY), int32_t(POS_URL), int32_t(POS_ARGGET),
                                   int32_t(POS_ARGPOST), int32_t(POS_ARG), -1, 14}) {
        EXPECT_FALSE(VerdictCache::covers(position)) << position;
    }
}

std::shared_ptr<engine> engineWith(const std::string& rule) {
    auto rules = std::make_shared<engine>();
    EXPECT_TRUE(rules->addrulestr(rule));
    return rules;
}

// A value found clean once must not hide a hit elsewhere: at another
// position, under another rule set, or the hits themselves on every request.
TEST(VerdictCache, RepeatedHeaderValuesKeepTheirVerdicts) {
    const auto agentRule = engineWith(R"(RAWRULE "7,agent,raw,find,block" "sqlmap")");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(agentRule->matchRules(POS_ALAN, "sqlmap", false).hit, 0);
        const rulematch hit = agentRule->matchRules(POS_AGENT, "sqlmap", false);
        EXPECT_EQ(hit.hit, 1);
        EXPECT_EQ(hit.id, 7);
        EXPECT_EQ(agentRule->matchRules(POS_AGENT, "curl/8.0", false).hit, 0);
    }
    const auto curlRule = engineWith(R"(RAWRULE "8,any,normal,regex,block" "^curl/")");
    EXPECT_EQ(curlRule->matchRules(POS_AGENT, "curl/8.0", false).id, 8);
    EXPECT_EQ(curlRule->matchRules(POS_AGENT, "CURL/8.0", false).id, 8);
}

} // namespace
} // namespace ostrum
