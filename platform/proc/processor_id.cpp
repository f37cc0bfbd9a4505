#include "platform/proc/processor_id.h"

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform::proc {

std::string processorIdText(unsigned features, unsigned signature) {
    char text[17];
    std::snprintf(text, sizeof text, "%08X%08X", features, signature);
    return text;
}

std::string processorId() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        return processorIdText(edx, eax);
    }
#endif
    return processorIdText(0, 0);
}

} // namespace platform::proc
