#pragma once

#include <sys/resource.h>

namespace platform::proc {

// Raises the soft limit of open descriptors to the hard limit; false (and the
// limit unchanged) when the system refuses. The limit reached is in out.
bool raiseDescriptorLimit(rlim_t* out = nullptr);

} // namespace platform::proc
