#pragma once

// Trace output of the service. The macro tests the sink before anything is
// formatted, so a trace costs one relaxed load while tracing is off.

#include "platform/debug.h"

#include <cstdarg>
#include <string_view>

namespace ostrum {

// Formats printf-style into 512 bytes (at most 511 characters) and writes it.
void tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vtracef(const char* format, va_list args);
// Writes text as it stands, cut at 511 characters.
void traceText(std::string_view text);

} // namespace ostrum

#define OST_TRACE(...)                                                                             \
    do {                                                                                           \
        if (::platform::traceEnabled()) {                                                          \
            ::ostrum::tracef(__VA_ARGS__);                                                         \
        }                                                                                          \
    } while (0)

#define OST_TRACE_TEXT(text)                                                                       \
    do {                                                                                           \
        if (::platform::traceEnabled()) {                                                          \
            ::ostrum::traceText(text);                                                             \
        }                                                                                          \
    } while (0)
