#include "platform/ini.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

// Any bytes as a profile file: reading must not fail, and a write must keep
// what it does not touch and make the value readable.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/ostrum-ini-fuzz-" + std::to_string(getpid()) + ".cfg";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    platform::readProfileString("setting", "run_mod", "2", path);
    if (platform::writeProfileString("setting", "last_update_date", "2026-01-01", path)) {
        const std::string back = platform::readProfileString("setting", "last_update_date", "", path);
        if (back.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
