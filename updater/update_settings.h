#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrum::updater {

// Where an installation without update.ini would send its check and its
// report: names under the reserved ".invalid" domain, which reach nobody.
constexpr std::string_view kDefaultUpdateAddress = "http://update.ostrum.invalid/update/";
constexpr std::string_view kDefaultReportHost = "report.ostrum.invalid";
constexpr std::string_view kDefaultReportPort = "8621";

// What one run reads from ostrum.cfg and update.ini (section "setting").
struct UpdateSettings {
    std::string settingFile;       // base + "ostrum.cfg"
    std::string updateSettingFile; // base + "update.ini"
    std::string ftpHost;
    std::string ftpPort;
    std::string upUrl; // trimmed
    std::string ostrumVer;
    std::string ruleVer;
    std::string driverVer;
};

// A key of section "setting", at most 255 characters; the default when missing.
std::string readIniSetting(std::string_view key, std::string_view defaultValue,
                           const std::string& file);
[[nodiscard]] bool writeIniSetting(std::string_view key, std::string_view value,
                                   const std::string& file);

// Reads both files of the program folder base (ending in "/"), tracing each value.
UpdateSettings readUpdateSettings(const std::string& base);

// The addresses to ask in order: the pieces of up_url between "," as they
// stand (or up_url alone), then the built-in address.
std::vector<std::string> updateAddresses(std::string_view upUrl);

} // namespace ostrum::updater
