#include "console/shell/console_trace.h"

#include <cstdarg>
#include <cstdio>

namespace console {

void traceFormat(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) {
        platform::traceWrite(std::string_view(line, std::min<size_t>(size_t(n), sizeof line - 1)));
    }
}

} // namespace console
