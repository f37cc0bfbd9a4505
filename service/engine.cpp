// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
engine::engine() = default;
engine::~engine() = default;
rulematch engine::matchRules(int32_t, std::string_view, bool) { return {}; }
std::string engine::decodeLower(std::string_view v) { return std::string(v); }
std::string engine::todayString() { return {}; }
std::string engine::formatString(const char*, ...) { return {}; }
void engine::indexRule(size_t) {}
} // namespace ostrum
