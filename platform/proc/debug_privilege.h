#pragma once

namespace platform::proc {

// Grants the own process the right to inspect and end other processes. Root
// has it already and others cannot gain it, so this succeeds without acting.
bool enableDebugPrivilege();

} // namespace platform::proc
