#pragma once

// Trace output of the interception layer. The macro tests the sink first, so
// nothing is formatted while tracing is off.

#include "platform/debug.h"

namespace platform::netfilter {

void tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform::netfilter

#define NF_TRACE(...)                                                                              \
    do {                                                                                           \
        if (::platform::traceEnabled()) {                                                          \
            ::platform::netfilter::tracef(__VA_ARGS__);                                            \
        }                                                                                          \
    } while (0)
