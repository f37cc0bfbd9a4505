#include "updater/md5.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace ostrum::updater {
namespace {

std::string digestOf(const std::string& data) {
    Md5State state;
    md5Init(state);
    md5Update(state, data.data(), data.size());
    md5Final(state);
    return md5Digest(state);
}

// Bytes that repeat only every 251, so block edges do not line up with them.
std::string sampleContent(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        data[i] = char((i * 7 + 3) % 251);
    }
    return data;
}

class TempFile {
public:
    explicit TempFile(const std::string& data)
        : m_path(std::filesystem::temp_directory_path() /
                 ("md5_test_" + std::to_string(getpid()) + "_" + std::to_string(data.size()))) {
        FILE* file = std::fopen(m_path.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), file);
        std::fclose(file);
    }
    ~TempFile() { std::filesystem::remove(m_path); }
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

TEST(Md5, Rfc1321VectorsInUpperCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(digestOf(input), expected) << '"' << input << '"';
    }
}

TEST(Md5, FeedingInPiecesGivesTheSameDigest) {
    const std::string data = sampleContent(1000);
    for (const size_t piece : {size_t(1), size_t(7), size_t(63), size_t(64), size_t(65)}) {
        Md5State state;
        md5Init(state);
        for (size_t at = 0; at < data.size(); at += piece) {
            md5Update(state, data.data() + at, std::min(piece, data.size() - at));
        }
        md5Final(state);
        EXPECT_EQ(md5Digest(state), digestOf(data)) << "pieces of " << piece;
    }
}

// Sizes around the padding's edges (56 and 120 take a whole extra block)
// and one of several MiB.
TEST(Md5File, DigestsFilesOfEveryLength) {
    const std::pair<size_t, std::string> cases[] = {
        {0, "D41D8CD98F00B204E9800998ECF8427E"},
        {55, "030157BE00035D098644CFC70E5DEAEA"},
        {56, "8E758DF1EC8681FC06DAA64253668F13"},
        {63, "4A805576B511A836FEFEE199FB797AE5"},
        {64, "7A0CBE2EAB91195C56EAE7F83588D243"},
        {65, "940B4E909B09D4828B0EEBE642613192"},
        {120, "4BEBAF2293F8B2E434F1A4F024EEA593"},
        {1024, "84D769DE0D4A5450F9CA6CA2EAB3234A"},
        {5 * 1024 * 1024 + 3, "F2201659B05A4ED3CDED7B19D3D1CA94"},
    };
    for (const auto& [size, expected] : cases) {
        const TempFile file(sampleContent(size));
        std::string digest;
        ASSERT_TRUE(md5File(file.path(), digest)) << size;
        EXPECT_EQ(digest, expected) << size << " bytes";
    }
}

// From 2^28 bytes on, the length in bits no longer fits 31 bits.
TEST(Md5, LengthBeyondThirtyTwoBits) {
    const std::string zeros(1 << 20, '\0');
    Md5State state;
    md5Init(state);
    for (int i = 0; i < 256; ++i) {
        md5Update(state, zeros.data(), zeros.size());
    }
    md5Update(state, "\x01", 1);
    md5Final(state);
    EXPECT_EQ(md5Digest(state), "ABFE6927FD40AAA1931C9B2A8470793A");
}

TEST(Md5File, MissingFileIsNotDigested) {
    std::string digest = "unchanged";
    EXPECT_FALSE(md5File("/nonexistent/package.7z", digest));
    EXPECT_EQ(digest, "unchanged");
}

} // namespace
} // namespace ostrum::updater
