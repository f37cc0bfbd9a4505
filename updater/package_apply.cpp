#include "updater/package_apply.h"

#include "platform/proc/process_list.h"
#include "platform/proc/program_file.h"
#include "platform/proc/program_start.h"
#include "updater/file_ops.h"
#include "updater/package_texts.h"
#include "updater/program_run.h"
#include "updater/service_control.h"
#include "updater/update_pause.h"
#include "updater/update_trace.h"

#include <algorithm>

namespace ostrum::updater {
namespace {

constexpr std::string_view kServiceName = "ostrum";

void killProcess(const std::string& fileName) {
    const int ended = platform::proc::terminateProcesses(fileName);
    UPD_TRACE("ended " + std::to_string(ended) + " " + fileName);
}

void unpackPackage(UpdateRun& run, Package package, const EventPump& pump) {
    const PackageOffer& offer = run.reply.offer(package);
    const std::string name = urlFileName(offer.url);
    if (isPlainFileName(name)) {
        const std::vector<std::string> args{"e", std::string(kPackageFolder) + "/" + name, "-y"};
        UPD_TRACE(commandText("7z", args));
        runHiddenAndWait("7z", args, pump);
    } else {
        UPD_TRACE("package name refused: " + name);
    }
    const std::string_view key = packageTexts(package).versionKey;
    if (!writeIniSetting(key, offer.version, run.settings.settingFile)) {
        UPD_TRACE("cannot write " + std::string(key) + " to " + run.settings.settingFile);
    }
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
    killProcess(platform::proc::programFileName("ostrumgui"));
    run.updated = true;
    const EventPump pump = [&progress] { progress.pumpEvents(); };
    for (const Package package : kPackages) {
        if (run.flags[size_t(package)]) {
            unpackPackage(run, package, pump);
        }
    }
    applyPause();
    startServiceByName(kServiceName);
    if (run.interactive) {
        restartConsole(run, progress);
    }
}

} // namespace ostrum::updater
