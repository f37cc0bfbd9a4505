#include "platform/svc/service_manager.h"

#include "platform/svc/registry.h"
#include "platform/svc/standalone_manager.h"
#include "platform/svc/systemd_manager.h"

#include <cstdlib>
#include <unistd.h>

namespace platform::svc {

std::unique_ptr<ServiceManager> openServiceManager() {
    const char* root = getenv(kRootVariable);
    const bool systemdRuns = access("/run/systemd/system", F_OK) == 0;
    if (systemdRuns && (root == nullptr || *root == '\0')) {
        return std::make_unique<SystemdManager>();
    }
    return std::make_unique<StandaloneManager>(Registry::defaultRoot());
}

} // namespace platform::svc
