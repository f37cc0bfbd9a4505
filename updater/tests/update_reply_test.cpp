#include "updater/update_reply.h"

#include <gtest/gtest.h>

namespace ostrum::updater {
namespace {

TEST(UpdateReply, NineFieldsTrimmedInOrder) {
    UpdateReply reply;
    ASSERT_TRUE(parseUpdateReply(" 2.1 ,http://h/u/p.7z,AAAA, 1.5,http://h/u/r.7z,BBBB,"
                                 "\t1.2,http://h/u/d.7z , CCCC\r\n",
                                 reply));
    EXPECT_EQ(reply.offer(Package::Product).version, "2.1");
    EXPECT_EQ(reply.offer(Package::Product).url, "http://h/u/p.7z");
    EXPECT_EQ(reply.offer(Package::Product).hash, "AAAA");
    EXPECT_EQ(reply.offer(Package::Rule).version, "1.5");
    EXPECT_EQ(reply.offer(Package::Rule).hash, "BBBB");
    EXPECT_EQ(reply.offer(Package::Driver).version, "1.2");
    EXPECT_EQ(reply.offer(Package::Driver).url, "http://h/u/d.7z");
    EXPECT_EQ(reply.offer(Package::Driver).hash, "CCCC");

    ASSERT_TRUE(parseUpdateReply(",,,,,,,,", reply));
    for (const PackageOffer& offer : reply.offers) {
        EXPECT_TRUE(offer.version.empty() && offer.url.empty() && offer.hash.empty());
    }
}

TEST(UpdateReply, MalformedRepliesAreRefused) {
    const std::string cases[] = {
        "",
        "no update",
        "1,2,3,4,5,6,7,8",
        "1,2,3,4,5,6,7,8,9,10",
        "1,2,3,4,5,6,7,8,9,",
        std::string(kMaxReplySize, ',').replace(0, 17, "1,2,3,4,5,6,7,8,9"),
        std::string("1,2,3,4,5,6,7,8,") + std::string(kMaxReplySize, 'x'),
    };
    for (const std::string& text : cases) {
        UpdateReply reply;
        reply.offers[0].version = "kept";
        EXPECT_FALSE(parseUpdateReply(text, reply)) << text.substr(0, 40);
        EXPECT_EQ(reply.offers[0].version, "kept");
    }
}

TEST(UpdateReply, VersionsCompareAsText) {
    struct Case {
        const char* offered;
        const char* installed;
        bool newer;
    };
    const Case cases[] = {
        {"2.1", "2.0", true},  {"2.0", "2.0", false}, {"10.0", "9.0", false},
        {"9.1", "9.0", true},  {"", "1.0", false},    {"1.0", "", true},
        {"1.0a", "1.0", true}, {"\xC0", "z", true},   {"1.0", "1.0 ", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(versionIsNewer(c.offered, c.installed), c.newer)
            << c.offered << " against " << c.installed;
    }
    EXPECT_TRUE(offerIsUpdate({"2.1", "http://x", "H"}, "2.0"));
    EXPECT_FALSE(offerIsUpdate({"2.1", "http:/x", "H"}, "2.0")) << "7 characters";
    EXPECT_FALSE(offerIsUpdate({"2.0", "http://host/p.7z", "H"}, "2.0"));
}

TEST(UpdateReply, PackageNamesStayInsideTheFolder) {
    struct Case {
        const char* url;
        const char* name;
        bool plain;
    };
    const Case cases[] = {
        {"http://h/update/pkg.7z", "pkg.7z", true},
        {"http://h/update/pkg.7z?v=2", "pkg.7z?v=2", true},
        {"pkg.7z", "pkg.7z", true},
        {"http://h/update/..pkg", "..pkg", true},
        {"http://h/update/", "", false},
        {"http://h/update/..", "..", false},
        {"http://h/.", ".", false},
        {"http://h/a\\..\\..\\ostrum", "a\\..\\..\\ostrum", false},
        {"http://h/a\tb", "a\tb", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(urlFileName(c.url), c.name) << c.url;
        EXPECT_EQ(isPlainFileName(urlFileName(c.url)), c.plain) << c.url;
    }
    EXPECT_FALSE(isPlainFileName(std::string_view("a\0b", 3)));
}

} // namespace
} // namespace ostrum::updater
