#include "platform/netfilter/layer_trace.h"

#include <cstdarg>
#include <cstdio>

namespace platform::netfilter {

void tracef(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length > 0) {
        traceWrite(line);
    }
}

} // namespace platform::netfilter
