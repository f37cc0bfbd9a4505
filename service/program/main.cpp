// ostrum: the filtering service. "-i" installs it, "-u" removes it; started
// by the service manager it filters until stopped.

#include "platform/svc/dispatcher.h"
#include "service/program/ostrum_service.h"

#include <cstdio>

int main(int argc, char** argv) {
    // Before any thread starts, so that every control reaches the dispatcher.
    platform::svc::blockControlSignals();
    ostrum::OstrumService service;
    if (argc > 1 && service.handleSwitches(argc, argv)) {
        return 0;
    }
    const char* program = argc > 0 ? argv[0] : "ostrum";
    if (!service.isInstalled()) {
        std::printf("The service is not installed, use \"%s -i\" to install.\n", program);
        return 0;
    }
    if (platform::svc::runDispatcher(service.serviceName(), &ostrum::BaseService::serviceMain) !=
        0) {
        std::printf("The service can not run from command line.\n");
    }
    return 0;
}
