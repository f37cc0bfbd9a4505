#pragma once

#include <cstdint>
#include <string>

namespace ostrum {

// True when the file can be opened for reading.
bool fileExists(const std::string& name);
// The file's size in whole MiB (bytes >> 20); 0 when it cannot be opened.
uint64_t fileSizeMB(const std::string& name);

} // namespace ostrum
