#pragma once

// Trace output of the updater. The macro tests the sink before the text is
// formed, so a trace costs nothing while tracing is off.

#include "platform/debug.h"

#define UPD_TRACE(text)                                                                            \
    do {                                                                                           \
        if (::platform::traceEnabled()) {                                                          \
            ::platform::traceWrite(text);                                                          \
        }                                                                                          \
    } while (0)
