#pragma once

#include <string>

namespace platform::proc {

// The processor's identifier: its feature word and signature word (CPUID
// leaf 1, EDX then EAX) as 16 upper-case hex digits; "0000000000000000" on a
// processor without CPUID.
std::string processorId();

// The text of the two words, for processorId and its tests.
std::string processorIdText(unsigned features, unsigned signature);

} // namespace platform::proc
