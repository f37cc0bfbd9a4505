// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
int32_t engine::parseCookie(std::string_view, bool, PairList&) { return 0; }
int32_t engine::parseQuery(std::string_view, bool, PairList&) { return 0; }
int32_t engine::splitString(std::string_view, char, std::vector<std::string>&) { return 0; }
int32_t engine::countChar(std::string_view, char) { return 0; }
} // namespace ostrum
