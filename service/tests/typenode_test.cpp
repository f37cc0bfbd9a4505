#include "service/engine.h"
#include "service/param_key.h"
#include "service/tests/trace_capture.h"
#include "service/typenode.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using testing::TraceCapture;

TEST(TypenodeTest, SetRefusesEmptyPartsAndBadPatterns) {
    struct Case {
        std::string name;
        std::string pattern;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"num", "^[0-9]+$", true}, {"", "^[0-9]+$", false},  {"num", "", false},
        {"bad", "([a-z", false},   {"bad", "a{2,1}", false}, {"nul", std::string("a\0b", 3), true},
    };
    for (const Case& c : cases) {
        typenode type;
        EXPECT_EQ(type.set(c.name, c.pattern, 3), c.accepted) << c.name << " / " << c.pattern;
        EXPECT_EQ(type.compiled != nullptr, c.accepted) << c.pattern;
    }
}

TEST(TypenodeTest, MatchLowerCasesTheValueFirst) {
    typenode lower;
    ASSERT_TRUE(lower.set("word", "^abc$", 0));
    EXPECT_TRUE(lower.match("ABC"));
    EXPECT_TRUE(lower.matches("aBc"));
    EXPECT_FALSE(lower.match("abcd"));

    // A pattern that demands an upper-case letter can never match.
    typenode upper;
    ASSERT_TRUE(upper.set("caps", "^[A-Z]+$", 0));
    EXPECT_FALSE(upper.match("ABC"));
    EXPECT_FALSE(upper.matches("abc"));

    // Bytes past a zero byte are still part of the value.
    typenode nul;
    ASSERT_TRUE(nul.set("nul", std::string("^a\0b$", 5), 0));
    EXPECT_TRUE(nul.matches(std::string_view("A\0B", 3)));
    EXPECT_FALSE(nul.matches("a"));

    typenode unset;
    EXPECT_FALSE(unset.match("abc"));
    EXPECT_FALSE(unset.matches(""));
}

TEST(TypenodeTest, CopiesShareThePatternAndTrace) {
    TraceCapture trace;
    {
        typenode original;
        ASSERT_TRUE(original.set("num", "^[0-9]+$", 4));
        const typenode copy(original);
        EXPECT_EQ(copy.compiled, original.compiled);
        EXPECT_EQ(copy.index, 4);
        EXPECT_TRUE(copy.matches("42"));
        typenode failed;
        EXPECT_FALSE(failed.set("bad", "(x", 0));
    }
    const std::string text = trace.text();
    EXPECT_NE(text.find("typenode constuct\ntypenode constuct\ntypenode constuct\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("pcre_compile failed in typenode::set!\n(x\n"), std::string::npos) << text;
    size_t destroyed = 0;
    for (size_t at = text.find("typenode destoried"); at != std::string::npos;
         at = text.find("typenode destoried", at + 1)) {
        ++destroyed;
    }
    EXPECT_EQ(destroyed, 3u) << text;
}

TEST(BuiltinTypesTest, RegisteredInIndexOrder) {
    const std::vector<std::string> names = {
        "digitsHex", "integer", "decimal",      "checkbox",    "path",
        "url",       "urlPath", "urlPathQuery", "phone",       "phoneInt",
        "zip",       "email",   "password",     "textOneLine", "textMultiLine"};
    engine e;
    const std::vector<typenode>& types = e.commonTypes();
    ASSERT_EQ(types.size(), names.size());
    for (size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(types[i].name, names[i]) << i;
        EXPECT_EQ(types[i].index, int32_t(i)) << i;
        EXPECT_NE(types[i].compiled, nullptr) << types[i].pat;
    }
    EXPECT_EQ(types[7].pat, types[6].pat);
    EXPECT_EQ(types[10].pat, types[9].pat);
    EXPECT_EQ(types[12].pat, R"(^s*[\x09\x20-\xff]+\s*$)");
}

TEST(BuiltinTypesTest, FirstAcceptingTypeWins) {
    struct Case {
        std::string value;
        int32_t index;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"123", 0, "digitsHex"},
        {"ff", 1, "integer"},
        {"DeadBeef", 1, "integer"},
        {"-5", 2, "decimal"},
        {"+-12", 2, "decimal"},
        {"on", 3, "checkbox"},
        {"ON", 3, "checkbox"},
        {"a/b", 4, "path"},
        {"/", 4, "path"},
        {"http://www.example.com/", 5, "url"},
        {"HTTP://Example.COM", 5, "url"},
        {"http://a-b.example.com/x/y?id=1&k=%20", 6, "urlPath"},
        {"(010) 555.12", 8, "phone"},
        {"+86 10-555", 9, "phoneInt"},
        {"a.b@example.com", 11, "email"},
        {"  me@x  ", 11, "email"},
        {"hello world", 12, "password"},
        {"\thello world", 12, "password"},
        {"\xc4\xe3\xba\xc3", 12, "password"},
        {"\nhello world", 13, "textOneLine"},
        {"hello\nworld", 14, "textMultiLine"},
        {"a\r\nb", 14, "textMultiLine"},
        {"", -1, "?"},
        {"\x01", -1, "?"},
        {"\n", 14, "textMultiLine"},
        {std::string("12\0 34", 6), -1, "?"},
        {std::string(1 << 20, 'a'), 1, "integer"},
        {std::string(1 << 20, ' ') + "x", 11, "email"},
        {std::string(1 << 20, ' ') + "x y", 12, "password"},
        {std::string(1 << 20, ' ') + "\x01", -1, "?"},
    };
    engine e;
    for (const Case& c : cases) {
        const std::string shown = c.value.substr(0, 40);
        EXPECT_EQ(e.typeIndexOf(c.value), c.index) << '"' << shown << '"';
        EXPECT_EQ(e.typeNameOf(c.value), c.name) << '"' << shown << '"';
    }
}

TEST(SafestrTypesTest, FirstTypeOfANameDecides) {
    engine e;
    EXPECT_TRUE(e.addSafestrTypeRule(std::string("num"), std::string("^[0-9]+$")));
    EXPECT_TRUE(e.addSafestrTypeRule("dup", "^a$"));
    EXPECT_TRUE(e.addSafestrTypeRule("dup", "^b$"));
    EXPECT_FALSE(e.addSafestrTypeRule("broken", "[z-a]"));
    EXPECT_FALSE(e.addSafestrTypeRule(nullptr, "^x$"));
    EXPECT_FALSE(e.addSafestrTypeRule("nopattern", nullptr));
    ASSERT_EQ(e.safestrTypes().size(), 3u);
    EXPECT_EQ(e.safestrTypes()[1].index, 0);

    struct Case {
        std::string type;
        std::string value;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"num", "123", true}, {"num", "12a", false},  {"NUM", "123", false},     {"dup", "A", true},
        {"dup", "b", false},  {"broken", "z", false}, {"digitsHex", "1", false}, {"", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(e.matchSafestrType(c.type, c.value), c.matches) << c.type << " / " << c.value;
    }
}

// A patch-rule check as request inspection asks it.
struct ConstraintCase {
    std::string host;
    std::string port;
    std::string url;
    std::string param;
    char letter;
    std::string value;
    int32_t result;
};

void expectConstraints(engine& e, const std::vector<ConstraintCase>& cases) {
    for (const ConstraintCase& c : cases) {
        EXPECT_EQ(e.checkParamConstraint(c.host, c.port, c.url, c.param, c.letter, c.value),
                  c.result)
            << c.host << "::" << c.port << "::" << c.url << "::" << c.letter << "::" << c.param
            << " = \"" << c.value.substr(0, 40) << '"';
    }
}

TEST(ConstraintTest, TypeOfEveryItemBeforeTheLength) {
    engine e;
    ASSERT_TRUE(e.addjiptypestr(R"(JIPTYPE num "^[0-9]+$")"));
    EXPECT_FALSE(e.addjiptypestr(R"(JIPTYPE broken "([0-9]")"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  5  site::80::/a.asp::g::id  num::0-10"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  6  site::80::/b.asp::g::id  any::0-3"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  5  site::80::/b.asp::g::id  num::0-3"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  7  site::80::/any.asp::p::q  any::0-0"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  8  site::80::/len.asp::g::s  any::2-3"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  9  site::80::/b.asp::g::n  digitsHex::0-0"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  10  site::80::/b.asp::g::t  nosuchtype::0-0"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  11  site::80::/b.asp::g::u  broken::0-0"));
    expectConstraints(e, {
                             {"site", "80", "/a.asp", "id", 'g', "7", 0},
                             {"site", "80", "/a.asp", "id", 'g', "abc", 5},
                             {"site", "80", "/a.asp", "id", 'g', "12345678901", 5},
                             {"site", "80", "/a.asp", "other", 'g', "abc", 0},
                             // Items (6, any) then (5, num), maximum 3.
                             {"site", "80", "/b.asp", "id", 'g', "12345", 6},
                             {"site", "80", "/b.asp", "id", 'g', "abc", 5},
                             {"site", "80", "/b.asp", "id", 'g', "123", 0},
                             {"site", "80", "/any.asp", "q", 'p', "", 0},
                             {"site", "80", "/any.asp", "q", 'p', std::string(100000, '<'), 0},
                             // The length is that of the value as received.
                             {"site", "80", "/len.asp", "s", 'g', "a", 8},
                             {"site", "80", "/len.asp", "s", 'g', "ab", 0},
                             {"site", "80", "/len.asp", "s", 'g', "%41", 0},
                             {"site", "80", "/len.asp", "s", 'g', "%41B", 8},
                             // Only named types take part.
                             {"site", "80", "/b.asp", "n", 'g', "123", 9},
                             {"site", "80", "/b.asp", "t", 'g', "x", 10},
                             {"site", "80", "/b.asp", "u", 'g', "(1", 11},
                         });
}

TEST(ConstraintTest, KeyIsLowerCasedButNotTrimmed) {
    engine e;
    ASSERT_TRUE(e.addSafestrTypeRule("num", "^[0-9]+$"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  5  site::80::/a.asp::g::id  num::0-0"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  6  site:8080::8080::/a.asp::g::id  num::0-0"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  7  site::80::/a.asp::c:: sid  num::0-0"));
    expectConstraints(e, {
                             {"SITE", "80", "/A.ASP", "ID", 'g', "x", 5},
                             {"site", "80", "/a.asp", "id", 'G', "x", 0},
                             {"site", "81", "/a.asp", "id", 'g', "x", 0},
                             {"site ", "80", "/a.asp", "id", 'g', "x", 0},
                             {"site", "80", "/a.asp", "id", 'p', "x", 0},
                             // A Host header with its port is a different host.
                             {"site:80", "80", "/a.asp", "id", 'g', "x", 0},
                             {"Site:8080", "8080", "/a.asp", "id", 'g', "x", 6},
                             {"site", "8080", "/a.asp", "id", 'g', "x", 0},
                             {"site", "80", "/a.asp", " sid", 'c', "x", 7},
                             {"site", "80", "/a.asp", "sid", 'c', "x", 0},
                             {"", "", "", "", '\0', "x", 0},
                         });
}

TEST(ConstraintTest, KeysOfOneRequestShareTheirPrefix) {
    ParamKeyBuilder keys("Site", "80", "/A.asp");
    EXPECT_EQ(keys.key('g', "ID"), "site::80::/a.asp::g::id");
    EXPECT_EQ(keys.key('C', " Sid"), "site::80::/a.asp::C:: sid");
    EXPECT_EQ(keys.key('p', ""), "site::80::/a.asp::p::");
    EXPECT_EQ(ParamKeyBuilder("", "", "").key('\0', "x"), std::string("::::::\0::x", 10));

    engine e;
    ASSERT_TRUE(e.addSafestrTypeRule("num", "^[0-9]+$"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE  5  site::80::/a.asp::g::id  num::0-0"));
    EXPECT_EQ(e.checkParamKey(keys.key('g', "Id"), "x"), 5);
    EXPECT_EQ(e.checkParamKey(keys.key('g', "Idx"), "x"), 0);
}

} // namespace
} // namespace ostrum
