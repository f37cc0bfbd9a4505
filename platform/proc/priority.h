#pragma once

namespace platform::proc {

// Moves every thread of the own process to a high scheduling priority (the
// threads it starts later inherit it). False when the system refused.
bool raiseOwnPriority();

} // namespace platform::proc
