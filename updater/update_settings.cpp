#include "updater/update_settings.h"

#include "platform/ini.h"
#include "updater/update_trace.h"

namespace ostrum::updater {
namespace {

// The profile reader's buffer holds 256 characters with the terminator.
constexpr size_t kMaxValue = 255;

std::string readTraced(std::string_view key, std::string_view defaultValue,
                       const std::string& file) {
    std::string value = readIniSetting(key, defaultValue, file);
    UPD_TRACE(std::string(key) + "=" + value);
    return value;
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

} // namespace

std::string readIniSetting(std::string_view key, std::string_view defaultValue,
                           const std::string& file) {
    std::string value = platform::readProfileString("setting", key, defaultValue, file);
    if (value.size() > kMaxValue) {
        value.resize(kMaxValue);
    }
    return value;
}

bool writeIniSetting(std::string_view key, std::string_view value, const std::string& file) {
    return platform::writeProfileString("setting", key, value, file);
}

UpdateSettings readUpdateSettings(const std::string& base) {
    UpdateSettings settings;
    settings.settingFile = base + "ostrum.cfg";
    settings.updateSettingFile = base + "update.ini";
    UPD_TRACE("settingfile=" + settings.settingFile);
    UPD_TRACE("updatesettingfile=" + settings.updateSettingFile);
    settings.ftpHost = readTraced("ftp_host", kDefaultReportHost, settings.updateSettingFile);
    settings.ftpPort = readTraced("ftp_port", kDefaultReportPort, settings.updateSettingFile);
    settings.upUrl = trimmed(readIniSetting("up_url", "", settings.updateSettingFile));
    UPD_TRACE("setting_update_url=" + settings.upUrl);
    settings.ostrumVer = readTraced("ostrum_ver", "2.0", settings.settingFile);
    settings.ruleVer = readTraced("rule_ver", "1.0", settings.settingFile);
    settings.driverVer = readTraced("driver_ver", "1.0", settings.settingFile);
    return settings;
}

std::vector<std::string> updateAddresses(std::string_view upUrl) {
    std::vector<std::string> addresses;
    if (upUrl.find(',') != std::string_view::npos) {
        while (true) {
            const size_t comma = upUrl.find(',');
            addresses.emplace_back(upUrl.substr(0, comma));
            if (comma == std::string_view::npos) {
                break;
            }
            upUrl.remove_prefix(comma + 1);
        }
    } else if (!upUrl.empty()) {
        addresses.emplace_back(upUrl);
    }
    addresses.emplace_back(kDefaultUpdateAddress);
    return addresses;
}

} // namespace ostrum::updater
