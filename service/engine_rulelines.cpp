// STUB: to be replaced
#include "service/engine.h"

namespace ostrum {
bool engine::addrulestr(const std::string&) { return false; }
bool engine::addjiprulestr(const std::string&) { return false; }
bool engine::addjiptypestr(const std::string&) { return false; }
bool engine::addiprangestr(const std::string&) { return false; }
std::string trim(std::string_view t) { return std::string(t); }
} // namespace ostrum
