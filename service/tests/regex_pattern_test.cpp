#include "service/regex_pattern.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using Mode = RegexPattern::Mode;

struct MatchCase {
    const char* pattern;
    Mode mode;
    std::string subject;
    MatchResult expected;
};

TEST(RegexPattern, MatchesBySearchOrWholeLine) {
    const MatchCase cases[] = {
        {"select", Mode::Search, "1 union select 2", MatchResult::Match},
        {"select", Mode::Search, "SELECT", MatchResult::NoMatch},
        {"^abc", Mode::Search, "xabc", MatchResult::NoMatch},
        {"a.c", Mode::Search, std::string("a\0c", 3), MatchResult::Match},
        {"abc", Mode::WholeLine, "abc", MatchResult::Match},
        {"abc", Mode::WholeLine, "abcd", MatchResult::NoMatch},
        {"abc", Mode::WholeLine, "xabc", MatchResult::NoMatch},
        {"a|ab", Mode::WholeLine, "ab", MatchResult::Match},
        {"a.b", Mode::WholeLine, "a\rb", MatchResult::NoMatch},
        {"a.b", Mode::WholeLine, "a\nb", MatchResult::NoMatch},
        {"a.b", Mode::WholeLine, std::string("a\0b", 3), MatchResult::Match},
        {"a\\s+b", Mode::WholeLine, "a \t\r\v\fb", MatchResult::Match},
        {"a\\s+z", Mode::WholeLine, "a\xA0z", MatchResult::NoMatch},
        {"\\d+", Mode::WholeLine, "0123456789", MatchResult::Match},
        {"", Mode::Search, "", MatchResult::Match},
    };
    for (const MatchCase& c : cases) {
        const auto pattern = RegexPattern::compile(c.pattern, c.mode);
        ASSERT_NE(pattern, nullptr) << c.pattern;
        EXPECT_EQ(pattern->match(c.subject), c.expected) << c.pattern << " on " << c.subject;
    }
}

TEST(RegexPattern, CompileErrorTellsCodeAndOffset) {
    RegexPattern::CompileError error;
    EXPECT_EQ(RegexPattern::compile("ab(cd", Mode::Search, &error), nullptr);
    EXPECT_NE(error.code, 0);
    EXPECT_EQ(error.offset, 5u);
    EXPECT_FALSE(error.message.empty());
    EXPECT_EQ(RegexPattern::compile("a)", Mode::WholeLine), nullptr);
    EXPECT_EQ(RegexPattern::compile("[z-a]", Mode::Search), nullptr);
}

TEST(RegexPattern, EmptyPatternWithoutStorageCompiles) {
    const auto pattern = RegexPattern::compile(std::string_view{}, Mode::Search);
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->match("anything"), MatchResult::Match);
    EXPECT_EQ(pattern->match(std::string_view{}), MatchResult::Match);
}

TEST(RegexPattern, CatastrophicBacktrackingStopsAtTheLimit) {
    const std::string subject = std::string(40, 'a') + "!";
    for (const Mode mode : {Mode::Search, Mode::WholeLine}) {
        const auto pattern = RegexPattern::compile("(a+)+$", mode);
        ASSERT_NE(pattern, nullptr);
        EXPECT_EQ(pattern->match(subject), MatchResult::LimitExceeded);
        std::vector<std::string_view> groups{"stale"};
        EXPECT_EQ(pattern->capture(subject, groups), MatchResult::LimitExceeded);
        EXPECT_TRUE(groups.empty());
    }
}

TEST(RegexPattern, CaptureGivesGroupsAsViewsIntoTheSubject) {
    const auto pattern = RegexPattern::compile(R"re((\w+)\s+(x)?(\w*)\s+(.+))re", Mode::WholeLine);
    ASSERT_NE(pattern, nullptr);
    const std::string subject = "one   two  three four";
    std::vector<std::string_view> groups;
    ASSERT_EQ(pattern->capture(subject, groups), MatchResult::Match);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], "one");
    EXPECT_EQ(groups[1], ""); // unset
    EXPECT_EQ(groups[2], "two");
    EXPECT_EQ(groups[3], "three four");
    EXPECT_GE(groups[3].data(), subject.data());
    EXPECT_LE(groups[3].data() + groups[3].size(), subject.data() + subject.size());
    EXPECT_EQ(pattern->capture("one", groups), MatchResult::NoMatch);
    EXPECT_TRUE(groups.empty());
}

TEST(RegexPattern, CaptureOfManyGroupsKeepsEveryOne) {
    std::string pattern;
    std::string subject;
    for (int i = 0; i < 24; ++i) {
        pattern += "(.)";
        subject += char('a' + i);
    }
    const auto compiled = RegexPattern::compile(pattern, Mode::WholeLine);
    ASSERT_NE(compiled, nullptr);
    std::vector<std::string_view> groups;
    ASSERT_EQ(compiled->capture(subject, groups), MatchResult::Match);
    ASSERT_EQ(groups.size(), 24u);
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i], subject.substr(i, 1)) << "group " << i + 1;
    }
}

TEST(RegexPattern, OnePatternServesSeveralThreads) {
    const auto pattern = RegexPattern::compile("(\\d+)-(\\d+)", Mode::WholeLine);
    ASSERT_NE(pattern, nullptr);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string subject = std::to_string(t) + "-" + std::to_string(i);
                std::vector<std::string_view> groups;
                if (pattern->capture(subject, groups) != MatchResult::Match ||
                    groups[1] != std::to_string(i)) {
                    ++wrong[size_t(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace
} // namespace ostrum
