#include "platform/proc/debug_privilege.h"

namespace platform::proc {

bool enableDebugPrivilege() {
    return true;
}

} // namespace platform::proc
