#pragma once

namespace platform::proc {

// Raises the soft limit of open descriptors to the hard limit; false (and the
// limit unchanged) when the system refuses.
[[nodiscard]] bool raiseDescriptorLimit();

} // namespace platform::proc
