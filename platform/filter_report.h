#pragma once

// What the interception layer has to tell the operator. The layer records it
// here; the service, which owns the run log, puts it into words there.

#include <cstdint>
#include <string>

namespace platform {

// Why the last port rule was refused, in words ("Address already in use");
// empty after a rule that was taken.
void setRuleFailure(std::string reason);
std::string ruleFailure();

// Accepts that failed because the process or the system ran out of
// descriptors, since the program started.
void countDescriptorShortage();
uint64_t descriptorShortages();

} // namespace platform
