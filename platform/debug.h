#pragma once

#include <string_view>

namespace platform {

// The debugger-output sink. Off by default; OSTRUM_TRACE=stderr or
// OSTRUM_TRACE=/path/file turns it on when the process starts.
// Callers test traceEnabled() before they format anything.
bool traceEnabled();

// Writes one trace line (a line end is added when the text has none).
void traceWrite(std::string_view text);

// Redirects the sink: an empty target turns it off. For tests and tools.
void setTraceTarget(std::string_view target);

} // namespace platform
