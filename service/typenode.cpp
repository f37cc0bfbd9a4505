// STUB: to be replaced
#include "service/typenode.h"

namespace ostrum {
typenode::typenode() = default;
typenode::typenode(const typenode&) = default;
typenode& typenode::operator=(const typenode&) = default;
typenode::~typenode() = default;
bool typenode::set(std::string, std::string, int32_t) { return false; }
bool typenode::match(std::string) { return false; }
bool typenode::matches(std::string_view) const { return false; }
} // namespace ostrum
