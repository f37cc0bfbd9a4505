// STUB: to be replaced
#include "service/http_filter.h"

namespace ostrum {
bool HttpFilter::isIpBlocked(std::string) { return false; }
int32_t HttpFilter::recordAttack(std::string) { return 0; }
bool HttpFilter::blockConnection(uint64_t, std::string) { return false; }
bool HttpFilter::blockingOn() { return false; }
} // namespace ostrum
