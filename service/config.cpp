// STUB: to be replaced
#include "service/config.h"

namespace ostrum {
config::config() = default;
config::~config() = default;
int config::loadConfig() { return -1; }
int config::parseline(std::string) { return 0; }
void config::writeUpgradeRecord(std::string, std::string) {}
} // namespace ostrum
