// The texts the service manager layer reads back: registry records, status
// files, unit files and systemctl's show output.

#include "platform/svc/registry.h"
#include "platform/svc/systemd_manager.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::svc::ServiceConfig config;
    if (platform::svc::parseServiceRecord(text, config)) {
        platform::svc::ServiceConfig again;
        if (!platform::svc::parseServiceRecord(platform::svc::formatServiceRecord(config), again)) {
            __builtin_trap();
        }
    }
    const platform::svc::StatusRecord status = platform::svc::parseStatusRecord(text);
    (void)platform::svc::formatStatusRecord(status);
    (void)platform::svc::parseUnitFile(text, config);
    pid_t pid = 0;
    (void)platform::svc::statusFromShow(text, pid);
    return 0;
}
