// STUB: to be replaced
#include "service/http_filter.h"

namespace ostrum {
int HttpFilter::loadWbList() { return -1; }
bool HttpFilter::matchList(std::string, int) { return false; }
} // namespace ostrum
