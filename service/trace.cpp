#include "service/trace.h"

#include <cstdio>

namespace ostrum {

constexpr size_t kTraceBuffer = 512;

void vtracef(const char* format, va_list args) {
    char line[kTraceBuffer];
    const int n = std::vsnprintf(line, sizeof line, format, args);
    if (n < 0) {
        return;
    }
    platform::traceWrite(std::string_view(line, std::min<size_t>(size_t(n), kTraceBuffer - 1)));
}

void tracef(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vtracef(format, args);
    va_end(args);
}

void traceText(std::string_view text) { platform::traceWrite(text.substr(0, kTraceBuffer - 1)); }

} // namespace ostrum
