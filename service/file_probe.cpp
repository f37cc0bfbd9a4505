// STUB: to be replaced
#include "service/file_probe.h"

namespace ostrum {
bool fileExists(const std::string&) { return false; }
uint64_t fileSizeMB(const std::string&) { return 0; }
} // namespace ostrum
