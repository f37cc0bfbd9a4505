#include "updater/update_cycle.h"

#include "updater/file_ops.h"
#include "updater/package_apply.h"
#include "updater/package_download.h"
#include "updater/package_texts.h"
#include "updater/system_info.h"
#include "updater/update_check.h"
#include "updater/update_trace.h"

#include <random>

namespace ostrum::updater {
namespace {

double randomFraction() {
    std::random_device seed;
    std::mt19937 engine(seed());
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

const std::string& installedVersion(const UpdateSettings& settings, Package package) {
    switch (package) {
    case Package::Product:
        return settings.ostrumVer;
    case Package::Rule:
        return settings.ruleVer;
    case Package::Driver:
        break;
    }
    return settings.driverVer;
}

void logVersions(const UpdateSettings& settings, Progress& progress) {
    progress.addLog("当前Ostrum版本：" + settings.ostrumVer);
    progress.addLog("当前规则版本：" + settings.ruleVer);
    progress.addLog("当前驱动版本：" + settings.driverVer);
}

void traceReply(const UpdateReply& reply) {
    if (!platform::traceEnabled()) {
        return;
    }
    for (size_t i = 0; i < 9; ++i) {
        const PackageOffer& offer = reply.offers[i / 3];
        const std::string& value = i % 3 == 0 ? offer.version : i % 3 == 1 ? offer.url : offer.hash;
        platform::traceWrite(std::string(replyFieldNames()[i]) + "=" + value);
    }
}

bool fetchPackage(UpdateRun& run, Package package, const EventPump& pump, Progress& progress) {
    const PackageOffer& offer = run.reply.offer(package);
    if (!offerIsUpdate(offer, installedVersion(run.settings, package))) {
        return false;
    }
    UPD_TRACE("需要升级" + offer.url);
    progress.addLog(std::string(packageTexts(package).needsUpdate) + offer.version);
    const std::string name = urlFileName(offer.url);
    if (!isPlainFileName(name)) {
        UPD_TRACE("package name refused: " + name);
        return false;
    }
    if (!downloadPackage(offer.url, run.base + kPackageFolder + "/" + name, offer.hash, pump)) {
        return false;
    }
    UPD_TRACE(offer.url + " 下载成功!");
    progress.addLog(packageTexts(package).downloaded);
    return true;
}

void fetchPackages(UpdateRun& run, Progress& progress) {
    const EventPump pump = [&progress] { progress.pumpEvents(); };
    // Each flag is its own package's verified download: a new driver does not
    // take the rule set along, since a rule package that was not verified in
    // this run would be unpacked unchecked.
    for (const Package package : kPackages) {
        run.flags[size_t(package)] = fetchPackage(run, package, pump, progress);
    }
}

std::string osText() {
    const platform::proc::OsVersion info = osVersionInfo();
    return info.name + " " + info.detail;
}

// The reply is the server's text: a field that could split a settings line
// or carry anything but its own kind of value refuses the whole reply.
bool takeReply(const std::string& text, UpdateReply& reply) {
    const ReplyCheck check = parseUpdateReply(text, reply);
    if (check.fault == ReplyFault::FieldCount) {
        UPD_TRACE("reply malformed: not nine fields");
    } else if (check.fault == ReplyFault::Field) {
        UPD_TRACE("reply malformed: " + std::string(replyFieldNames()[check.field]));
    }
    return bool(check);
}

} // namespace

bool isInteractiveCommandLine(const std::string& commandLine) {
    const size_t first = commandLine.find_first_not_of(' ');
    return first != std::string::npos &&
           commandLine.substr(first, commandLine.find_last_not_of(' ') - first + 1) == "-s";
}

UpdateRun runUpdateCycle(const std::string& base, bool interactive, Progress& progress) {
    UpdateRun run;
    run.base = base;
    run.interactive = interactive;
    run.m_code = machineCode();
    const std::string packageFolder = base + kPackageFolder;
    if (!folderExists(packageFolder)) {
        createFolder(packageFolder);
    }
    run.settings = readUpdateSettings(base);
    logVersions(run.settings, progress);

    const std::vector<std::string> addresses = updateAddresses(run.settings.upUrl);
    if (hasFiles(packageFolder)) {
        deleteFiles(packageFolder);
    }
    progress.addLog("正在检查升级...");
    const CheckFacts facts{run.m_code, osText(), physicalMemoryKB(), randomFraction()};
    CheckResult check = checkForUpdates(addresses, checkQuery(run.settings, facts),
                                        [&progress] { progress.pumpEvents(); });
    run.server = std::move(check.server);
    if (check.reply.empty() || !takeReply(check.reply, run.reply)) {
        return run;
    }
    traceReply(run.reply);
    fetchPackages(run, progress);
    applyPackages(run, progress);
    return run;
}

} // namespace ostrum::updater
