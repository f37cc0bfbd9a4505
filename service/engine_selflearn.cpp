// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
int32_t engine::selflearn(const std::string&, const std::string&, const std::string&,
                          const std::string&, char, std::string_view, uint32_t) { return 0; }
std::string engine::selfLearnPath(const std::string& d) { return d; }
void engine::writeLearnResult() {}
std::map<std::string, learnstat> engine::learnSnapshot() { return {}; }
uint32_t engine::learnCount() { return 0; }
} // namespace ostrum
