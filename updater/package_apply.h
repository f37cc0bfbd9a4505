#pragma once

#include "updater/progress.h"
#include "updater/update_cycle.h"

namespace ostrum::updater {

// With any package downloaded: stops the service, ends the consoles, unpacks
// each package in the current folder and records its version, starts the
// service again and, in interactive mode, the console.
void applyPackages(UpdateRun& run, Progress& progress);

} // namespace ostrum::updater
