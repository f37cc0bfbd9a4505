#pragma once

#include "updater/progress.h"
#include "updater/update_cycle.h"

namespace ostrum::updater {

// With any package downloaded and verified: stops the service, ends the
// consoles of the program folder, unpacks each package into the program
// folder and records its version when the archiver succeeded, starts the
// service again and, in interactive mode, the console.
void applyPackages(UpdateRun& run, Progress& progress);

} // namespace ostrum::updater
