#include "service/dates.h"

#include "platform/clock.h"

#include <cstdarg>
#include <cstdio>

namespace ostrum {

std::string vformatString(const char* format, va_list args) {
    if (format == nullptr) {
        return {};
    }
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text;
    if (length > 0) {
        text.resize(size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(size_t(length));
    }
    return text;
}

std::string formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatString(format, args);
    va_end(args);
    return text;
}

std::string todayString() {
    const platform::LocalTime t = platform::localTime();
    return formatString("%4d-%02d-%02d", t.year, t.month, t.day);
}

std::string timeString() {
    const platform::LocalTime t = platform::localTime();
    return formatString("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

} // namespace ostrum
