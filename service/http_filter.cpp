#include "service/http_filter.h"

#include "service/dates.h"
#include "service/trace.h"

#include <cstdarg>

namespace ostrum {
HttpFilter::HttpFilter() {
    OST_TRACE_TEXT("httpfilter constuct");
    const auto report = [this](std::string message) {
        mainlog.write(message, m_config.getMaxLogfileSize());
    };
    attacklog.setReporter(report);
    detaillog.setReporter(report);
}

HttpFilter::~HttpFilter() {
    mainlog.close();
    detaillog.close();
    attacklog.close();
    OST_TRACE_TEXT("httpfilter destoried");
}

int HttpFilter::reloadConfig() {
    m_config.loadConfig();
    return 0;
}

void HttpFilter::debugPrint(const char* format, ...) {
    if (format == nullptr || !platform::traceEnabled()) {
        return;
    }
    va_list args;
    va_start(args, format);
    vtracef(format, args);
    va_end(args);
}

std::string HttpFilter::formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatString(format, args);
    va_end(args);
    return text;
}

std::string HttpFilter::todayString() {
    return ostrum::todayString();
}
std::string HttpFilter::timeString() {
    return ostrum::timeString();
}
std::string HttpFilter::logFileDate() {
    return ostrum::todayString();
}

void HttpFilter::writeAttackLog(std::string record) {
    attacklog.write(record, m_config.getMaxLogfileSize());
}

void HttpFilter::closeAttackLog() {
    attacklog.close();
}

void HttpFilter::writeDetailLog(std::string_view record) {
    if (m_config.getWriteDetaillog()) {
        detaillog.write(record, m_config.getMaxLogfileSize());
    }
}

void HttpFilter::closeDetailLog() {
    detaillog.close();
}

void HttpFilter::writeMainLog(std::string message) {
    mainlog.write(message, m_config.getMaxLogfileSize());
}

void HttpFilter::closeMainLog() {
    mainlog.close();
}

} // namespace ostrum
