#pragma once

#include "updater/progress.h"
#include "updater/update_reply.h"
#include "updater/update_settings.h"

#include <array>
#include <string>

namespace ostrum::updater {

// The folder the packages are downloaded into and unpacked from, relative to
// the program folder. Not "update": that is the updater's own file name here.
constexpr const char* kPackageFolder = "updates";

// What one run learns and does, up to the report.
struct UpdateRun {
    std::string base; // the program folder, ending in "/"
    bool interactive = false;
    std::string m_code; // the machine identifier
    UpdateSettings settings;
    std::string server;
    UpdateReply reply;
    std::array<bool, 3> flags{}; // downloaded and verified in this run, by Package
    bool updated = false;        // every flagged package was unpacked and recorded
};

// Interactive when the command line, trimmed, is exactly "-s".
bool isInteractiveCommandLine(const std::string& commandLine);

// The update cycle: settings, check, downloads and, when any package came,
// the apply step. Every failing step leaves its result empty and the run goes on.
UpdateRun runUpdateCycle(const std::string& base, bool interactive, Progress& progress);

} // namespace ostrum::updater
