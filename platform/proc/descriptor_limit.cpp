#include "platform/proc/descriptor_limit.h"

namespace platform::proc {

bool raiseDescriptorLimit(rlim_t* out) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    if (limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            return false;
        }
    }
    if (out != nullptr) {
        *out = limit.rlim_cur;
    }
    return true;
}

} // namespace platform::proc
