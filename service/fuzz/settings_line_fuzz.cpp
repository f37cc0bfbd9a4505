#include "service/config.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ostrum::config settings;
    settings.parseline(std::string(reinterpret_cast<const char*>(data), size));
    if (settings.getRunMod() < 0 || settings.getBlockTimeLength() == 0) {
        __builtin_trap();
    }
    for (const uint16_t port : settings.getPorts()) {
        if (port == 0) {
            __builtin_trap();
        }
    }
    return 0;
}
