// update: checks for, fetches and applies new packages; started with "-s"
// it shows its progress in a window, otherwise it also sends the daily report.

#include "platform/proc/debug_privilege.h"
#include "platform/proc/program_file.h"
#include "updater/http_get.h"
#include "updater/log_report.h"
#include "updater/mainwin.h"
#include "updater/single_instance.h"
#include "updater/update_cycle.h"
#include "updater/update_trace.h"

#include <QApplication>
#include <string>
#include <unistd.h>

namespace {

using namespace ostrum::updater;

std::string commandLine(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    return line;
}

void runInteractive(int argc, char** argv, const std::string& base) {
    QApplication app(argc, argv);
    MainWin window;
    window.showOnTop();
    (void)runUpdateCycle(base, true, window);
    window.close();
}

void runSilent(const std::string& base) {
    SilentProgress progress;
    const UpdateRun run = runUpdateCycle(base, false, progress);
    sendLogReport(ReportContext{run.base, run.m_code, run.settings.ftpHost, run.settings.ftpPort,
                                run.server, run.updated});
}

} // namespace

int main(int argc, char** argv) {
    const SingleInstance instance(platform::proc::modulePath());
    if (!instance.acquired()) {
        return 0;
    }
    (void)platform::proc::enableDebugPrivilege();
    // Every name of the run is relative to the program folder, wherever the
    // caller stood: no package is ever unpacked into another folder.
    const std::string folder = platform::proc::programFolder();
    if (folder.empty() || chdir(folder.c_str()) != 0) {
        UPD_TRACE("cannot enter the program folder " + folder);
        return 1;
    }
    const std::string base = folder + "/";
    const HttpLibrary http;
    if (isInteractiveCommandLine(commandLine(argc, argv))) {
        runInteractive(argc, argv, base);
    } else {
        runSilent(base);
    }
    return 0;
}
