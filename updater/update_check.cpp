#include "updater/update_check.h"

#include "updater/update_reply.h"
#include "updater/update_trace.h"

#include <array>
#include <charconv>

namespace ostrum::updater {
namespace {

std::string numberText(double value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), float(value));
    return std::string(text.data(), result.ptr);
}

} // namespace

std::string checkQuery(const UpdateSettings& settings, const CheckFacts& facts) {
    return "?ostrum_ver=" + settings.ostrumVer + "&rule_ver=" + settings.ruleVer +
           "&driver_ver=" + settings.driverVer + "&m_code=" + facts.machineCode +
           "&os=" + facts.osName + "&pm=" + std::to_string(facts.physicalMemoryKB) +
           "&rand=" + numberText(facts.random);
}

CheckResult checkForUpdates(const std::vector<std::string>& addresses, const std::string& query,
                            const EventPump& pump) {
    for (std::string address : addresses) {
        if (address.size() < 6) {
            continue;
        }
        if (!address.ends_with('/')) {
            address += '/';
        }
        const std::string url = address + query;
        UPD_TRACE("update_url=" + url);
        std::string reply;
        if (httpGet(url, reply, kMaxReplySize, pump) && reply.size() >= 7) {
            return CheckResult{address, reply};
        }
    }
    return CheckResult{std::string(kDefaultUpdateAddress), {}};
}

} // namespace ostrum::updater
