#pragma once

#include "platform/debug.h"

namespace console {

// One formatted trace line; use CONSOLE_TRACE, which formats only while tracing is on.
void traceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace console

#define CONSOLE_TRACE(...)                                                                         \
    do {                                                                                           \
        if (platform::traceEnabled()) {                                                            \
            console::traceFormat(__VA_ARGS__);                                                     \
        }                                                                                          \
    } while (0)
