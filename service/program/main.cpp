// ostrum: the filtering service. "-i" installs it, "-u" removes it; started
// by the service manager it filters until stopped. The exit status is 0 on
// success and non-zero when a switch or the service's start failed.

#include "platform/proc/descriptor_limit.h"
#include "platform/svc/dispatcher.h"
#include "service/program/ostrum_service.h"
#include "service/trace.h"

#include <cstdio>

int main(int argc, char** argv) {
    // Before any thread starts, so that every control reaches the dispatcher.
    platform::svc::blockControlSignals();
    // Each proxied client costs two descriptors.
    if (!platform::proc::raiseDescriptorLimit()) {
        OST_TRACE_TEXT("cannot raise the open-file limit\n");
    }
    ostrum::OstrumService service;
    if (argc > 1 && service.handleSwitches(argc, argv)) {
        return service.switchFailed() ? 1 : 0;
    }
    const char* program = argc > 0 ? argv[0] : "ostrum";
    if (!service.isInstalled()) {
        std::printf("The service is not installed, use \"%s -i\" to install.\n", program);
        return 1;
    }
    if (platform::svc::runDispatcher(service.serviceName(), &ostrum::BaseService::serviceMain) !=
        0) {
        std::printf("The service can not run from command line.\n");
        return 1;
    }
    return service.serviceExitCode() != 0 ? 1 : 0;
}
