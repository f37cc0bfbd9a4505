// STUB: to be replaced
#include "service/rulenode.h"

namespace ostrum {
rulenode::rulenode() = default;
rulenode::rulenode(const rulenode&) = default;
rulenode& rulenode::operator=(const rulenode&) = default;
rulenode::~rulenode() = default;
bool rulenode::set(int32_t, int32_t, int32_t, int32_t, int32_t, std::string) { return false; }
bool rulenode::match(int32_t, std::string_view, bool) { return false; }
int32_t rulenode::parseTar(std::string) { return 0; }
int32_t rulenode::parseTra(std::string) { return 0; }
int32_t rulenode::parseCm(std::string) { return 0; }
int32_t rulenode::parseHd(std::string) { return 0; }
std::string rulenode::decodeLower(std::string v) { return v; }
bool rulenode::appliesTo(int32_t) const { return false; }
bool rulenode::compare(std::string_view) const { return false; }
} // namespace ostrum
