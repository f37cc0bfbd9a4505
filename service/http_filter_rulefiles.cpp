// STUB: to be replaced
#include "service/http_filter.h"

namespace ostrum {
int32_t HttpFilter::loadRuleFile(const char*) { return -1; }
int32_t HttpFilter::loadRuleFile(const std::string&) { return -1; }
int32_t HttpFilter::loadIpRange() { return -1; }
} // namespace ostrum
