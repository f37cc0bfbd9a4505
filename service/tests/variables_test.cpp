#include "service/engine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using namespace std::string_literals;

// A list's pairs as copies, to compare with what a case expects.
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct PairCase {
    std::string text;
    bool useUtf8;
    Pairs expected;
};

Pairs copied(const PairList& pairs) {
    Pairs out;
    for (const auto& [name, value] : pairs) {
        out.emplace_back(name, value);
    }
    return out;
}

// "中文" as percent-encoded UTF-8, and the same two characters in GBK.
const std::string kChineseUtf8 = "%E4%B8%AD%E6%96%87";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4";

class VariablesTest : public ::testing::Test {
protected:
    // The count returned must always be the number of pairs in the list.
    Pairs query(const std::string& text, bool useUtf8) {
        PairList pairs;
        pairs.add("stale", "pair");
        const int32_t count = m_engine.parseQuery(text, useUtf8, pairs);
        EXPECT_EQ(count, static_cast<int32_t>(pairs.size())) << text;
        return copied(pairs);
    }
    Pairs cookie(const std::string& text, bool useUtf8) {
        PairList pairs;
        pairs.add("stale", "pair");
        const int32_t count = m_engine.parseCookie(text, useUtf8, pairs);
        EXPECT_EQ(count, static_cast<int32_t>(pairs.size())) << text;
        return copied(pairs);
    }

    engine m_engine;
};

TEST_F(VariablesTest, QueryPairs) {
    const std::vector<PairCase> cases = {
        {"", false, {}},
        {"a=1&b=2", false, {{"a", "1"}, {"b", "2"}}},
        {"a=", false, {{"a", ""}}},
        {"=1", false, {}},
        {"a", false, {}},
        {"a&&b=2", false, {{"b", "2"}}},
        {"a=b=c", false, {{"a", "b=c"}}},
        {"n%61me=v%20x", false, {{"name", "v%20x"}}},
        {"a+b=1", false, {{"a b", "1"}}},
        {"a=1&a=2", false, {{"a", "1"}, {"a", "2"}}},
        {"a=1&", false, {{"a", "1"}}},
        {"&a=1", false, {{"a", "1"}}},
        {"==", false, {}},
        {"a==", false, {{"a", "="}}},
        {kChineseUtf8 + "=v", true, {{kChineseGbk, "v"}}},
        {"%00=1&b=2", true, {{"\0"s, "1"}, {"b", "2"}}},
        {"%C3%A9=1%20union&%FF=2&%E4%B8=3&caf%C3=4",
         true,
         {{"\xA8\xA6", "1%20union"}, {"?", "2"}, {"??", "3"}, {"caf?", "4"}}},
        {"%00=1", false, {{"\0"s, "1"}}},
    };
    for (const PairCase& c : cases) {
        EXPECT_EQ(query(c.text, c.useUtf8), c.expected) << "query: " << c.text;
    }
}

TEST_F(VariablesTest, CookiePairs) {
    const std::vector<PairCase> cases = {
        {"", false, {}},
        {"a=1; b=2", false, {{"a", "1"}, {" b", "2"}}},
        {"a=", false, {}},
        {"a=b=c", false, {{"a", "b"}}},
        {"=v", false, {{"", "v"}}},
        {"a", false, {}},
        {";;", false, {}},
        {"a==", false, {{"a", ""}}},
        {"n%61me=v%20x", false, {{"name", "v%20x"}}},
        {kChineseUtf8 + "=v", true, {{kChineseGbk, "v"}}},
        {"%00=v", true, {{"\0"s, "v"}}},
        {"%FF=v; caf%C3=w", true, {{"?", "v"}, {" caf?", "w"}}},
    };
    for (const PairCase& c : cases) {
        EXPECT_EQ(cookie(c.text, c.useUtf8), c.expected) << "cookie: " << c.text;
    }
}

TEST_F(VariablesTest, NestedCookiePairs) {
    const std::vector<PairCase> cases = {
        {"s=k1=v1&k2=v2", false, {{"s.k1", "v1"}, {"s.k2", "v2"}}},
        {"t=YWJj==", false, {{"t.YWJj", ""}}},
        // The outer name is joined undecoded, then decoded with the part.
        {"n%61=k%31=v%20&k2=v2", false, {{"na.k1", "v%20"}, {"na.k2", "v2"}}},
        {"s=a=b&&c=d=e", false, {{"s.a", "b"}, {"s.c", "d"}}},
        {"=a=b=c", false, {{".a", "b"}}},
        {"a=1; s=k1=v1&k2=v2; b=2",
         false,
         {{"a", "1"}, {" s.k1", "v1"}, {" s.k2", "v2"}, {" b", "2"}}},
        {"s=a=1&b=2; t=c=3&d=4", false, {{"s.a", "1"}, {"s.b", "2"}, {" t.c", "3"}, {" t.d", "4"}}},
        {"s=" + kChineseUtf8 + "=1&k=2", true, {{"s." + kChineseGbk, "1"}, {"s.k", "2"}}},
        // A long outer name is cut at 256 bytes in each pair's name.
        {std::string(300, 'o') + "=a=1&b=2",
         false,
         {{std::string(256, 'o') + ".a", "1"}, {std::string(256, 'o') + ".b", "2"}}},
    };
    for (const PairCase& c : cases) {
        EXPECT_EQ(cookie(c.text, c.useUtf8), c.expected) << "cookie: " << c.text;
    }
}

TEST_F(VariablesTest, MalformedTextKeepsValuesAndCount) {
    const std::vector<std::string> texts = {
        "%=1&b=2", "a%=1&b=2", "%%%=1&b=2", "%G=1&b=2", "%4=1&b=2", "\xFF\xFE=1&b=2",
    };
    for (bool useUtf8 : {false, true}) {
        for (const std::string& text : texts) {
            const Pairs pairs = query(text, useUtf8);
            ASSERT_FALSE(pairs.empty()) << text;
            EXPECT_EQ(pairs.back(), (std::pair<std::string, std::string>{"b", "2"})) << text;
            cookie(text, useUtf8);
        }
    }
}

TEST_F(VariablesTest, HostileSeparatorsAndLongPieces) {
    const std::string separators =
        std::string(100000, '=') + std::string(100000, '&') + std::string(100000, ';') + "=&;=&;";
    for (bool useUtf8 : {false, true}) {
        EXPECT_EQ(query(separators, useUtf8), (Pairs{{std::string(100000, ';'), ""}, {";", ""}}));
        cookie(separators, useUtf8);
    }

    const std::string name(1 << 20, 'n');
    const std::string value(1 << 20, 'v');
    EXPECT_EQ(query(name + "=" + value, false), (Pairs{{name, value}}));
    EXPECT_EQ(cookie(name + "=" + value, true), (Pairs{{name, value}}));
    EXPECT_EQ(cookie("s=" + name + "=" + value + "=x", false), (Pairs{{"s." + name, value}}));
}

bool inside(std::string_view part, std::string_view text) {
    return part.data() >= text.data() && part.data() + part.size() <= text.data() + text.size();
}

TEST_F(VariablesTest, ValuesAndPlainNamesAreViewsIntoTheText) {
    const std::string text = "plain=v%41&a%2Bb=w&c+d=x";
    PairList pairs;
    ASSERT_EQ(m_engine.parseQuery(text, true, pairs), 3);
    for (const auto& [name, value] : pairs) {
        EXPECT_TRUE(inside(value, text)) << value;
    }
    EXPECT_TRUE(inside(pairs[0].first, text));
    EXPECT_FALSE(inside(pairs[1].first, text));
    EXPECT_EQ(copied(pairs), (Pairs{{"plain", "v%41"}, {"a+b", "w"}, {"c d", "x"}}));

    const std::string cookies = "s=k=1&j=2; t%31=3";
    ASSERT_EQ(m_engine.parseCookie(cookies, false, pairs), 3);
    EXPECT_EQ(copied(pairs), (Pairs{{"s.k", "1"}, {"s.j", "2"}, {" t1", "3"}}));
    for (const auto& [name, value] : pairs) {
        EXPECT_TRUE(inside(value, cookies)) << value;
    }
}

// Decoded names fill block after block; none of them moves while the list
// grows, and a list filled again after clear holds the new names only.
TEST_F(VariablesTest, DecodedNamesStayWhileTheListGrows) {
    std::string text;
    Pairs expected;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "n" + std::to_string(i) + std::string(size_t(i % 7), 'x');
        text += name + "+%41=" + std::to_string(i) + "&";
        expected.emplace_back(name + " A", std::to_string(i));
    }
    text += std::string(10000, 'L') + "+=long";
    expected.emplace_back(std::string(10000, 'L') + " ", "long");
    PairList pairs;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(m_engine.parseQuery(text, round == 1, pairs), 3001);
        EXPECT_EQ(copied(pairs), expected) << "round " << round;
    }
    ASSERT_EQ(m_engine.parseQuery("a%41=1", false, pairs), 1);
    EXPECT_EQ(copied(pairs), (Pairs{{"aA", "1"}}));

    PairList more;
    more.add("first", "1");
    more.append(pairs);
    pairs.clear();
    ASSERT_EQ(m_engine.parseQuery("b%42=2", false, pairs), 1);
    EXPECT_EQ(copied(more), (Pairs{{"first", "1"}, {"aA", "1"}})) << "appended names are copies";
    more.trim(0, 0);
    EXPECT_TRUE(more.empty());
}

TEST_F(VariablesTest, SplitStringReadsLikeALineReader) {
    struct SplitCase {
        std::string text;
        std::vector<std::string> expected;
    };
    const std::vector<SplitCase> cases = {
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a"}},
        {",a", {"", "a"}},
        {"", {}},
        {",", {""}},
        {",,", {"", ""}},
        {"abc", {"abc"}},
        {"a\0,b"s, {"a\0"s, "b"}},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> pieces{"stale"};
        EXPECT_EQ(m_engine.splitString(c.text, ',', pieces),
                  static_cast<int32_t>(c.expected.size()))
            << "split: " << c.text;
        EXPECT_EQ(pieces, c.expected) << "split: " << c.text;
    }
}

TEST_F(VariablesTest, CountChar) {
    EXPECT_EQ(m_engine.countChar("", '='), 0);
    EXPECT_EQ(m_engine.countChar("t=YWJj==", '='), 3);
    EXPECT_EQ(m_engine.countChar("a\0=\0"s, '\0'), 2);
}

} // namespace
} // namespace ostrum
