// STUB: to be replaced
#include "service/decoders.h"

namespace ostrum {
std::string decodeLower(std::string_view v) { return std::string(v); }
std::string urlDecode(std::string_view v) { return std::string(v); }
std::string urlDecodeToAnsi(std::string_view v) { return std::string(v); }
std::string utf8ToAnsi(const char* b, size_t n) { return std::string(b, n); }
uint8_t hexPairValue(char, char) { return 0; }
void toLower(std::string&) {}
void normalForm(std::string_view v, bool, std::string& out) { out = v; }
} // namespace ostrum
