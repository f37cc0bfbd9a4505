#pragma once

#include <cstdarg>
#include <string>

namespace ostrum {

// Local date "%4d-%02d-%02d" and time "%02d:%02d:%02d" of the platform clock.
std::string todayString();
std::string timeString();

// printf-style formatting into a string; empty for a null format.
std::string formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vformatString(const char* format, va_list args);

} // namespace ostrum
