#include "updater/md5.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ostrum::updater {
namespace {

constexpr std::array<uint32_t, 64> kSines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr std::array<unsigned, 16> kShifts = {7, 12, 17, 22, 5, 9,  14, 20,
                                              4, 11, 16, 23, 6, 10, 15, 21};

uint32_t rotateLeft(uint32_t value, unsigned bits) {
    return (value << bits) | (value >> (32 - bits));
}

void md5Transform(std::array<uint32_t, 4>& words, const unsigned char* block) {
    std::array<uint32_t, 16> x{};
    for (size_t i = 0; i < 16; ++i) {
        x[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 |
               uint32_t(block[i * 4 + 2]) << 16 | uint32_t(block[i * 4 + 3]) << 24;
    }
    uint32_t a = words[0], b = words[1], c = words[2], d = words[3];
    for (unsigned i = 0; i < 64; ++i) {
        uint32_t f = 0;
        unsigned g = 0;
        switch (i / 16) {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
            break;
        }
        const uint32_t next =
            b + rotateLeft(a + f + kSines[i] + x[g], kShifts[(i / 16) * 4 + i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    words[0] += a;
    words[1] += b;
    words[2] += c;
    words[3] += d;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

void md5Init(Md5State& state) {
    state.words = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    state.byteCount = 0;
}

void md5Update(Md5State& state, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t used = size_t(state.byteCount % 64);
    state.byteCount += size;
    while (size > 0) {
        if (used == 0 && size >= 64) {
            md5Transform(state.words, bytes);
            bytes += 64;
            size -= 64;
            continue;
        }
        const size_t take = std::min(size, 64 - used);
        std::memcpy(state.block.data() + used, bytes, take);
        used += take;
        bytes += take;
        size -= take;
        if (used == 64) {
            md5Transform(state.words, state.block.data());
            used = 0;
        }
    }
}

void md5Final(Md5State& state) {
    const uint64_t bits = state.byteCount * 8;
    static constexpr unsigned char kPadding[64] = {0x80};
    const size_t used = size_t(state.byteCount % 64);
    md5Update(state, kPadding, used < 56 ? 56 - used : 120 - used);
    unsigned char length[8];
    for (size_t i = 0; i < 8; ++i) {
        length[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    md5Update(state, length, sizeof length);
}

std::string md5Digest(const Md5State& state) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(32);
    for (const uint32_t word : state.words) {
        for (unsigned shift = 0; shift < 32; shift += 8) {
            const unsigned byte = (word >> shift) & 0xff;
            text += kHex[byte >> 4];
            text += kHex[byte & 0xf];
        }
    }
    return text;
}

bool md5File(const std::string& path, std::string& digest) {
    const std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    Md5State state;
    md5Init(state);
    std::array<unsigned char, 65536> buffer;
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
        md5Update(state, buffer.data(), got);
    }
    if (std::ferror(file.get()) != 0) {
        return false;
    }
    md5Final(state);
    digest = md5Digest(state);
    return true;
}

} // namespace ostrum::updater
