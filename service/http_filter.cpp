// STUB: to be replaced
#include "service/http_filter.h"

namespace ostrum {
HttpFilter::HttpFilter() = default;
HttpFilter::~HttpFilter() = default;
int HttpFilter::reloadConfig() { return 0; }
void HttpFilter::debugPrint(const char*, ...) {}
std::string HttpFilter::formatString(const char*, ...) { return {}; }
std::string HttpFilter::todayString() { return {}; }
std::string HttpFilter::timeString() { return {}; }
std::string HttpFilter::logFileDate() { return {}; }
void HttpFilter::writeAttackLog(std::string) {}
void HttpFilter::closeAttackLog() {}
void HttpFilter::writeDetailLog(std::string) {}
void HttpFilter::closeDetailLog() {}
void HttpFilter::writeMainLog(std::string) {}
void HttpFilter::closeMainLog() {}
} // namespace ostrum
