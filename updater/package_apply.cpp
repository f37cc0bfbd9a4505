#include "updater/package_apply.h"

#include "platform/proc/own_processes.h"
#include "platform/proc/program_file.h"
#include "platform/proc/program_start.h"
#include "updater/file_ops.h"
#include "updater/package_download.h"
#include "updater/package_texts.h"
#include "updater/program_run.h"
#include "updater/service_control.h"
#include "updater/update_pause.h"
#include "updater/update_trace.h"

#include <algorithm>

namespace ostrum::updater {
namespace {

constexpr std::string_view kServiceName = "ostrum";

// Ends the consoles of this program folder only: a console of another
// installation, or another user's program of the same name, is not ours.
void killProcess(const UpdateRun& run, std::string_view program) {
    const int ended = platform::proc::terminateOwnProcesses(run.base, program);
    UPD_TRACE("ended " + std::to_string(ended) + " " + run.base + std::string(program));
}

// Unpacks one package into the program folder and records its version;
// false when anything failed, and then nothing is recorded.
bool unpackPackage(UpdateRun& run, Package package, const EventPump& pump) {
    const PackageOffer& offer = run.reply.offer(package);
    const std::string name = urlFileName(offer.url);
    const std::string file = std::string(kPackageFolder) + "/" + name;
    // Checked again: two offers may name one file, the later replacing the earlier.
    if (!isPlainFileName(name) || !packageMatches(run.base + file, offer.hash)) {
        UPD_TRACE("package not unpacked: " + name);
        return false;
    }
    const std::vector<std::string> args{"e", file, "-y"};
    UPD_TRACE(commandText("7z", args));
    if (runHiddenAndWait("7z", args, run.base, pump) != 0) {
        UPD_TRACE("unpacking failed: " + name);
        return false;
    }
    const std::string_view key = packageTexts(package).versionKey;
    if (!writeIniSetting(key, offer.version, run.settings.settingFile)) {
        UPD_TRACE("cannot write " + std::string(key) + " to " + run.settings.settingFile);
        return false;
    }
    return true;
}

void restartConsole(const UpdateRun& run, Progress& progress) {
    const std::string console = run.base + platform::proc::programFileName("ostrumgui");
    if (!fileExists(console)) {
        return;
    }
    progress.addLog("启动Ostrum服务，启动Ostrumgui.exe进程");
    progress.addLog("升级完毕!");
    applyPause();
    using namespace platform::proc;
    if (startProgram(console, {}, StartOptions{Window::Shown, Wait::No, {}, {}}) == 0) {
        UPD_TRACE("cannot start " + console);
    }
}

} // namespace

void applyPackages(UpdateRun& run, Progress& progress) {
    if (std::none_of(run.flags.begin(), run.flags.end(), [](bool flag) { return flag; })) {
        return;
    }
    progress.addLog("停止Ostrum服务，关闭Ostrumgui.exe进程");
    stopServiceByName(kServiceName);
    killProcess(run, "ostrumgui");
    const EventPump pump = [&progress] { progress.pumpEvents(); };
    // Confirmed to the server only when every package went in.
    run.updated = true;
    for (const Package package : kPackages) {
        if (run.flags[size_t(package)] && !unpackPackage(run, package, pump)) {
            run.updated = false;
        }
    }
    applyPause();
    startServiceByName(kServiceName);
    if (run.interactive) {
        restartConsole(run, progress);
    }
}

} // namespace ostrum::updater
