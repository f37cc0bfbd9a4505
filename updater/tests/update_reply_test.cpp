#include "updater/update_reply.h"

#include <gtest/gtest.h>

namespace ostrum::updater {
namespace {

const std::string kDigestA(32, 'A');
const std::string kDigestB = "0123456789abcdef0123456789ABCDEF";

TEST(UpdateReply, NineFieldsTrimmedInOrder) {
    UpdateReply reply;
    ASSERT_TRUE(parseUpdateReply(" 2.1 ,http://h/u/p.7z," + kDigestA + ", 1.5,HTTPS://h/u/r.7z," +
                                     kDigestB + ",\t1.2,http://h/u/d.7z , " + kDigestA + "\r\n",
                                 reply));
    EXPECT_EQ(reply.offer(Package::Product).version, "2.1");
    EXPECT_EQ(reply.offer(Package::Product).url, "http://h/u/p.7z");
    EXPECT_EQ(reply.offer(Package::Product).hash, kDigestA);
    EXPECT_EQ(reply.offer(Package::Rule).version, "1.5");
    EXPECT_EQ(reply.offer(Package::Rule).hash, kDigestB);
    EXPECT_EQ(reply.offer(Package::Driver).version, "1.2");
    EXPECT_EQ(reply.offer(Package::Driver).url, "http://h/u/d.7z");
    EXPECT_EQ(reply.offer(Package::Driver).hash, kDigestA);

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
        "1,,,4,,,7,,,10",
        "1,,,4,,,7,,,",
        std::string(kMaxReplySize, ',').replace(0, 8, "1,,,4,,,7,,"),
        std::string("1,,,4,,,7,,") + std::string(kMaxReplySize, 'x'),
    };
    for (const std::string& text : cases) {
        UpdateReply reply;
        reply.offers[0].version = "kept";
        const ReplyCheck check = parseUpdateReply(text, reply);
        EXPECT_EQ(check.fault, ReplyFault::FieldCount) << text.substr(0, 40);
        EXPECT_EQ(reply.offers[0].version, "kept");
    }
}

// A field that could split a settings line, or hide in one, refuses the
// whole reply and names the first field at fault.
TEST(UpdateReply, FieldsThatAreNotTheirKindRefuseTheReply) {
    struct Case {
        std::string reply;
        size_t field;
    };
    const std::string url = "http://h/r.7z";
    const Case cases[] = {
        {"2.0,,,1.5\nrun_mod=3\nx," + url + "," + kDigestA + ",1.0,,", 3},
        {"2.0,,,1.5\r\n[setting]," + url + "," + kDigestA + ",1.0,,", 3},
        {std::string("2.0,,,1.5\0x,", 12) + url + "," + kDigestA + ",1.0,,", 3},
        {"\xEF\xBB\xBF"
         "2.0,,,1.0,,,1.0,,",
         0},
        {"2.0,,,1 5,,,1.0,,", 3},
        {"2.0,,,1.0,,," + std::string(kMaxVersionSize + 1, '9') + ",,", 6},
        {"2.0,,,1.5,http://h/r\n.7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,http://h/r .7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,ftp://h/r.7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,http:///r.7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,http://," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,file.7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,http://h/\xE4.7z," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5,http://h/" + std::string(kMaxAddressSize, 'a') + "," + kDigestA + ",1.0,,", 4},
        {"2.0,,,1.5," + url + ",ABC,1.0,,", 5},
        {"2.0,,,1.5," + url + "," + kDigestA + "0,1.0,,", 5},
        {"2.0,,,1.5," + url + "," + std::string(31, 'A') + "G,1.0,,", 5},
        {"2.0,,,1.0,,,1.1," + url + "," + std::string(16, 'A') + "\r\n" + std::string(16, 'A'), 8},
    };
    for (const Case& c : cases) {
        UpdateReply reply;
        reply.offers[1].version = "kept";
        const ReplyCheck check = parseUpdateReply(c.reply, reply);
        EXPECT_EQ(check.fault, ReplyFault::Field) << c.reply;
        EXPECT_EQ(check.field, c.field) << c.reply;
        EXPECT_EQ(reply.offers[1].version, "kept") << c.reply;
    }
}

TEST(UpdateReply, FieldKinds) {
    for (const std::string_view good : {"", "2.1", "1.0-rc1+b7", "~!@#$%^&*()_=[]{};:'\"<>?/|"}) {
        EXPECT_TRUE(isVersionField(good)) << good;
    }
    EXPECT_TRUE(isVersionField(std::string(kMaxVersionSize, '1')));
    for (const std::string_view good :
         {"", "http://h", "https://update.example.test:8080/p/pkg.7z?v=2&x=%20", "HtTp://h/"}) {
        EXPECT_TRUE(isAddressField(good)) << good;
    }
    for (const std::string_view bad : {"h/p.7z", "http:/h", "https://", "http://h/\x7f"}) {
        EXPECT_FALSE(isAddressField(bad)) << bad;
    }
    EXPECT_TRUE(isDigestField(""));
    EXPECT_TRUE(isDigestField(kDigestB));
    EXPECT_FALSE(isDigestField(std::string(32, ' ')));
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
