#include "service/pf_header.h"
#include "service/request_values.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace ostrum {
namespace {

std::optional<std::string> valueOf(const PFHeader& header, std::string_view name) {
    const PFHeader::Field* field = header.findFirstField(name);
    if (field == nullptr) {
        return std::nullopt;
    }
    return std::string(field->second);
}

struct LookupCase {
    std::string text;
    std::string name;
    std::optional<std::string> expected;
};

TEST(PFHeaderParse, FindsTheValueEachTextGives) {
    const std::vector<LookupCase> cases = {
        {"Host: a\r\n\tb\r\n", "host", "a\r\n\tb"},
        {"Host: a\r\n  b c \r\n\td\r\n", "Host", "a\r\n  b c \r\n\td"},
        {"Host:  a \r\n", "host", "a "},
        {"Host:\t \ta\r\n", "host", "a"},
        {"Host:\r\n", "host", ""},
        {"Host:   \r\n", "host", ""},
        {"HOST: h\r\n", "Host", "h"},
        {"HOST: h\r\n", "host", "h"},
        {"host: h\r\n", "HOST", "h"},
        {"Host : h\r\n", "host", std::nullopt},
        {"Host : h\r\n", "host ", "h"},
        {"Cookie: a=1\r\nCookie: b=2\r\n", "cookie", "a=1"},
        {"A: 1\r\n:x\r\nB: 2\r\n", "a", "1"},
        {"A: 1\r\n:x\r\nB: 2\r\n", "b", std::nullopt},
        {"A: 1\r\nno colon\r\nB: 2\r\n", "b", std::nullopt},
        {"A: 1\r\n\r\nB: 2\r\n", "b", std::nullopt},
        {" X: 1\r\n", " x", "1"},
        {" X: 1\r\n", "x", std::nullopt},
        {"A: 1\nB: 2", "b", "2"},
        {"A: 1\r\r\n", "a", "1\r"},
        {"A: x:y\r\n", "a", "x:y"},
        {"A: 1\r\n", "", std::nullopt},
        {"", "a", std::nullopt},
    };
    for (const LookupCase& c : cases) {
        PFHeader header;
        EXPECT_TRUE(header.parseHeaderText(c.text.data(), c.text.size()));
        EXPECT_EQ(valueOf(header, c.name), c.expected)
            << "text: [" << c.text << "] name: [" << c.name << "]";
    }
}

TEST(PFHeaderParse, KeepsEveryFieldInArrivalOrderWithItsCase) {
    const std::string text = "Cookie: a=1\r\nHoSt: h\r\ncookie: b=2\r\n";
    PFHeader header;
    header.parseHeaderText(text.data(), text.size());
    const std::vector<PFHeader::Field> expected = {
        {"Cookie", "a=1"}, {"HoSt", "h"}, {"cookie", "b=2"}};
    EXPECT_EQ(header.fields(), expected);
    EXPECT_EQ(header.findFirstField("COOKIE"), &header.fields()[0]);
}

TEST(PFHeaderParse, ParsingAgainStartsFromEmpty) {
    PFHeader header;
    const std::string first = "A: 1\r\n";
    const std::string second = "B: 2\r\n";
    header.parseHeaderText(first.data(), first.size());
    header.parseHeaderText(second.data(), second.size());
    EXPECT_EQ(valueOf(header, "a"), std::nullopt);
    EXPECT_EQ(valueOf(header, "b"), "2");
    header.parseHeaderText(nullptr, 0);
    EXPECT_TRUE(header.fields().empty());
}

TEST(PFHeaderParse, HostileTextIsTakenByteForByte) {
    const std::string nul("A: x\0y\r\nB\0: 2\r\n", 15);
    const std::string onlyCrs = "A: 1\rB: 2\r";
    const std::string crsAlone = "\r\r\r\r";
    const std::string noLineEnd = "A: 1";
    const std::vector<LookupCase> cases = {
        {nul, "a", std::string("x\0y", 3)},
        {nul, std::string("b\0", 2), "2"},
        {onlyCrs, "a", "1\rB: 2"},
        {onlyCrs, "b", std::nullopt},
        {crsAlone, "a", std::nullopt},
        {noLineEnd, "a", "1"},
        {"\n\nA: 1", "a", std::nullopt},
        {"\t\t\n", "a", std::nullopt},
        {"\xff\xfe: \x80\r\n", "\xff\xfe", "\x80"},
    };
    for (const LookupCase& c : cases) {
        PFHeader header;
        EXPECT_TRUE(header.parseHeaderText(c.text.data(), c.text.size()));
        EXPECT_EQ(valueOf(header, c.name), c.expected) << "text: [" << c.text << "]";
    }
}

TEST(PFHeaderParse, MegabyteLinesAndManyContinuations) {
    const std::string big(1 << 20, 'a');
    std::string text = "X-Big: " + big + "\r\nNext: " + big;
    PFHeader header;
    header.parseHeaderText(text.data(), text.size());
    EXPECT_EQ(valueOf(header, "x-big"), big);
    EXPECT_EQ(valueOf(header, "next"), big);

    text = "A: 1\r\n";
    for (int i = 0; i < 10000; ++i) {
        text += " c\r\n";
    }
    header.parseHeaderText(text.data(), text.size());
    ASSERT_EQ(header.fields().size(), 1u);
    EXPECT_EQ(header.fields()[0].second.size(), 1u + 10000u * 4u);
}

TEST(PFHeaderParse, RepeatedFieldsInAnyCaseAreVisitedInArrivalOrder) {
    const std::string text = "x-forwarded-for: 1\r\nHost: h\r\nX-FORWARDED-FOR:\r\n"
                             "X-Forwarded-For: 3\r\n\tfolded\r\nx-forwarded-fo: no\r\n";
    PFHeader header;
    header.parseHeaderView(text);
    std::vector<KnownField> marks;
    const MarkedFields fields(header, marks);
    std::vector<std::string> seen;
    fields.forEachValue(KnownField::XForwardedFor,
                        [&](std::string_view v) { seen.emplace_back(v); });
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "", "3\r\n\tfolded"}));
    ASSERT_NE(fields.first(KnownField::XForwardedFor), nullptr);
    EXPECT_EQ(fields.first(KnownField::XForwardedFor)->second, "1");
    EXPECT_EQ(fields.first(KnownField::Host), header.findFirstField("host"));
    EXPECT_EQ(fields.first(KnownField::Cookie), nullptr);
    EXPECT_TRUE(PFHeader::sameName("User-Agent", "uSER-aGENT"));
    EXPECT_FALSE(PFHeader::sameName("User-Agent", "User-Agen"));
    EXPECT_FALSE(PFHeader::sameName("\xc0", "\xe0")) << "only ASCII letters fold";
}

TEST(PFHeaderParse, EveryKnownNameIsMarkedInAnyCaseAndOnlyWhole) {
    const std::pair<KnownField, std::string> names[] = {
        {KnownField::ContentType, "content-TYPE"},
        {KnownField::Referer, "REFERER"},
        {KnownField::UserAgent, "user-agent"},
        {KnownField::Host, "hOST"},
        {KnownField::ForwardedFor, "http_x_forwarded_for"},
        {KnownField::XForwardedFor, "X-Forwarded-For"},
        {KnownField::ClientIp, "Client-IP"},
        {KnownField::AcceptLanguage, "accept-language"},
        {KnownField::Cookie, "COOKIE"},
    };
    std::string text = "Cookies: no\r\nHost : no\r\nX-Forwarded-For-X: no\r\n";
    for (const auto& [field, name] : names) {
        text += name + ": " + name + "\r\n";
    }
    PFHeader header;
    header.parseHeaderView(text);
    std::vector<KnownField> marks;
    const MarkedFields fields(header, marks);
    for (const auto& [field, name] : names) {
        const PFHeader::Field* found = fields.first(field);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->second, name);
        size_t lines = 0;
        fields.forEachValue(field, [&](std::string_view) { ++lines; });
        EXPECT_EQ(lines, 1u) << name;
    }
    EXPECT_EQ(std::count(marks.begin(), marks.end(), KnownField::Other), 3);
}

TEST(PFHeaderParse, AMovedHeaderKeepsItsValues) {
    std::string text = "A: 1\r\nB: 2\r\n c\r\n";
    PFHeader header;
    header.parseHeaderText(text.data(), text.size());
    header.addField("D", "4");
    text.assign(text.size(), 'x'); // the header holds its own copy
    PFHeader moved(std::move(header));
    EXPECT_EQ(valueOf(moved, "a"), "1");
    EXPECT_EQ(valueOf(moved, "b"), "2\r\n c");
    EXPECT_EQ(valueOf(moved, "d"), "4");
}

// A stream over fixed bytes that may claim another size, hand out short
// reads, or claim to have read more than it was asked for.
class FakeStream : public ProtocolFilters::ObjectStream {
public:
    explicit FakeStream(std::string data) : m_data(std::move(data)), m_size(m_data.size()) {}

    uint64_t seek(int64_t offset, int origin) override {
        if (origin == ProtocolFilters::FILE_BEGIN) {
            m_position = size_t(offset);
        }
        return m_position;
    }
    uint32_t read(void* buffer, uint32_t count) override {
        ++reads;
        const size_t n = std::min({size_t(count), chunk, m_data.size() - m_position});
        std::memcpy(buffer, m_data.data() + m_position, n);
        m_position += n;
        return uint32_t(n) + overclaim;
    }
    uint64_t size() override { return m_size; }

    void claimSize(uint64_t size) { m_size = size; }
    void moveTo(size_t position) { m_position = position; }

    size_t chunk = SIZE_MAX;
    uint32_t overclaim = 0;
    int reads = 0;

private:
    std::string m_data;
    uint64_t m_size;
    size_t m_position = 0;
};

PFHeader headerWithOld() {
    PFHeader header;
    header.addField("Old", "1");
    return header;
}

TEST(ReadHeader, RefusesMissingArgumentsAndEmptyStreams) {
    FakeStream stream("A: 1\r\n");
    PFHeader header = headerWithOld();
    EXPECT_FALSE(readHeader(nullptr, &header));
    EXPECT_FALSE(readHeader(&stream, nullptr));
    FakeStream empty("");
    EXPECT_FALSE(readHeader(&empty, &header));
    EXPECT_EQ(valueOf(header, "old"), "1") << "an empty stream leaves the header as it was";
}

TEST(ReadHeader, ReadsTheWholeStreamFromItsStart) {
    FakeStream stream("Host: h\r\nCookie: c\r\n\r\n");
    stream.moveTo(5);
    PFHeader header = headerWithOld();
    EXPECT_TRUE(readHeader(&stream, &header));
    EXPECT_EQ(valueOf(header, "old"), std::nullopt);
    EXPECT_EQ(valueOf(header, "host"), "h");
    EXPECT_EQ(valueOf(header, "cookie"), "c");
}

TEST(ReadHeader, CollectsShortReadsUntilTheStreamEnds) {
    FakeStream chunked("Host: h\r\nCookie: c\r\n");
    chunked.chunk = 3;
    PFHeader header;
    EXPECT_TRUE(readHeader(&chunked, &header));
    EXPECT_EQ(valueOf(header, "cookie"), "c");

    FakeStream shorter("Host: h\r\nCook");
    shorter.claimSize(4096);
    EXPECT_TRUE(readHeader(&shorter, &header));
    EXPECT_EQ(valueOf(header, "host"), "h");
    EXPECT_EQ(header.fields().size(), 1u) << "only the bytes read are parsed";
}

TEST(ReadHeader, DoesNotBelieveAHostileStream) {
    FakeStream huge("Host: h\r\n");
    huge.claimSize(uint64_t(1) << 40);
    PFHeader header = headerWithOld();
    EXPECT_FALSE(readHeader(&huge, &header));
    EXPECT_EQ(huge.reads, 0);
    EXPECT_EQ(valueOf(header, "old"), "1");

    FakeStream overclaiming("Host: h\r\n");
    overclaiming.chunk = 2;
    overclaiming.overclaim = 1000;
    EXPECT_TRUE(readHeader(&overclaiming, &header));
    EXPECT_EQ(valueOf(header, "host"), std::nullopt) << "the bytes never written are not parsed";
}

} // namespace
} // namespace ostrum
