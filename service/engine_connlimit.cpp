// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
uint32_t engine::addipconn(uint32_t) { return 0; }
uint32_t engine::decipconn(uint32_t) { return 0; }
iprange* engine::rangeOf(uint32_t) { return nullptr; }
} // namespace ostrum
