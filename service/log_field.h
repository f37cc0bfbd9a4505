#pragma once

#include <string>
#include <string_view>

namespace ostrum {

// Appends client text as one field of a log line: the bytes that would end
// the line or split its blank-separated fields (below 0x21, and 0x7F) are
// written percent-encoded, such as %0D, %0A and %20.
void appendLogField(std::string& out, std::string_view text);
std::string logField(std::string_view text);

// Client text inside one line whose blanks are its own: only the control
// bytes (below 0x20, and 0x7F) are percent-encoded.
std::string logLineText(std::string_view text);

} // namespace ostrum
