// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
bool engine::addSafestrTypeRule(const char*, const char*) { return false; }
bool engine::addSafestrTypeRule(const std::string&, const std::string&) { return false; }
bool engine::addCommonTypeRule(const std::string&, const std::string&, int32_t) { return false; }
bool engine::matchSafestrType(const std::string&, std::string_view) { return false; }
std::string engine::typeNameOf(std::string_view) { return "?"; }
int32_t engine::typeIndexOf(std::string_view) { return -1; }
void engine::registerBuiltinTypes() {}
int32_t engine::checkParamConstraint(const std::string&, const std::string&, const std::string&,
                                     const std::string&, char, std::string_view) { return 0; }
} // namespace ostrum
