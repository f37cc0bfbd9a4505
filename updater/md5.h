#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrum::updater {

// MD5 (RFC 1321) of a byte stream. The byte count is 64-bit, so inputs of
// any size give the right digest.
struct Md5State {
    std::array<uint32_t, 4> words{};
    uint64_t byteCount = 0;
    std::array<unsigned char, 64> block{};
};

void md5Init(Md5State& state);
void md5Update(Md5State& state, const void* data, size_t size);
// Adds the padding and the length; the state then holds the digest.
void md5Final(Md5State& state);
// The digest of a finished state: 32 upper-case hex digits, A B C D each from
// its lowest byte up.
std::string md5Digest(const Md5State& state);

// The digest text of a whole file; false when it cannot be opened or read.
[[nodiscard]] bool md5File(const std::string& path, std::string& digest);

} // namespace ostrum::updater
