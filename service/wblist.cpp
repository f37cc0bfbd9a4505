// STUB: to be replaced
#include "service/wblist.h"

namespace ostrum {
int listCodeOf(std::string_view) { return -1; }
} // namespace ostrum
