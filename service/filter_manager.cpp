#include "service/filter_manager.h"

#include "platform/filter_report.h"
#include "platform/netfilter/operator_log.h"
#include "service/trace.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <thread>

namespace ostrum {
namespace {

constexpr uint16_t kDefaultPort = 80;
constexpr const wchar_t* kDataFolder = L"netfilter2";
constexpr const char* kDriverName = "ostrum2";
// Often enough to be seen while it lasts, rarely enough not to flood the log.
constexpr std::chrono::minutes kShortageLineInterval{1};

const char* driverFailure(nfapi::NF_STATUS status) {
    switch (status) {
    case nfapi::NF_STATUS_FAIL:
        return "Failed to connect to driver:NF_STATUS_FAIL";
    case nfapi::NF_STATUS_INVALID_ENDPOINT_ID:
        return "Failed to connect to driver:NF_STATUS_INVALID_ENDPOINT_ID";
    case nfapi::NF_STATUS_NOT_INITIALIZED:
        return "Failed to connect to driver:NF_STATUS_NOT_INITIALIZED";
    case nfapi::NF_STATUS_IO_ERROR:
        return "Failed to connect to driver:NF_STATUS_IO_ERROR";
    default:
        return "Failed to connect to driver:unknown";
    }
}

nfapi::NF_RULE inboundTcpRule(uint16_t port) {
    nfapi::NF_RULE rule;
    std::memset(&rule, 0, sizeof rule);
    rule.protocol = nfapi::NF_IPPROTO_TCP;
    rule.direction = nfapi::NF_D_IN;
    rule.localPort = htons(port);
    rule.filteringFlag = nfapi::NF_FILTER;
    return rule;
}

} // namespace

filtermanager::~filtermanager() {
    OST_TRACE_TEXT("filtermanager destoried");
}

int filtermanager::writeLog(const char* text) {
    m_filter.writeMainLog(text != nullptr ? text : "");
    return 0;
}

int filtermanager::start() {
    m_filter.reloadConfig();
    if (m_filter.settings().getRunMod() == 3) {
        OST_TRACE_TEXT("Failed to start.Ostrum was set to Disabled.\n");
        m_filter.writeMainLog("Failed to start.Ostrum was set to Disabled.");
        return -1;
    }
    m_filter.loadRuleFile("RAWRULE.dat");
    m_filter.loadRuleFile("JIPRULE.dat");
    // The rules' scanner takes seconds to build: before the ports open, not
    // on the first request.
    m_filter.rules().prefilter();
    if (m_filter.settings().getActiveWblist()) {
        m_filter.loadWbList();
    }
    m_filter.loadIpRange();
    enableDebugPrivilege();
    const int attached = attach();
    if (attached != 0) {
        return attached;
    }
    m_filter.writeMainLog("ostrum start!");
    return 0;
}

int filtermanager::stop() {
    OST_TRACE_TEXT("Stop service.\n");
    nfapi::nf_free();
    ProtocolFilters::pf_free();
    m_filter.writeMainLog("ostrum stop!");
    return 0;
}

void filtermanager::reset() {
    OST_TRACE_TEXT("reset netfilter...\n");
    nfapi::nf_free();
    ProtocolFilters::pf_free();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    enableDebugPrivilege();
    if (attach() == 0) {
        m_filter.writeMainLog("reset netfilter!");
    }
}

bool filtermanager::noUpdateNeeded() {
    config& settings = m_filter.settings();
    if (!settings.getAutoUpdateReport()) {
        return true;
    }
    return settings.getLastUpdateDate() == m_filter.todayString();
}

void filtermanager::checkUpdates(std::string date, std::string folder) {
    m_filter.writeMainLog("Check updates and reporte logs.");
    m_filter.settings().writeUpgradeRecord(std::move(date), std::move(folder));
}

void filtermanager::reportDescriptorShortage(std::chrono::steady_clock::time_point now) {
    const uint64_t shortages = platform::descriptorShortages();
    if (shortages == m_shortagesReported ||
        (m_lastShortageLine && now - *m_lastShortageLine < kShortageLineInterval)) {
        return;
    }
    const std::string message = "Out of file descriptors: new connections wait to be accepted (" +
                                std::to_string(shortages - m_shortagesReported) +
                                " failed accepts); raise the open-file limit";
    OST_TRACE_TEXT(message);
    m_filter.writeMainLog(message);
    m_shortagesReported = shortages;
    m_lastShortageLine = now;
}

int filtermanager::attach() {
    platform::netfilter::setOperatorLog(
        [this](const std::string& line) { m_filter.writeMainLog(line); });
    if (ProtocolFilters::pf_init(&m_filter, kDataFolder) == 0) {
        OST_TRACE_TEXT("Failed to initialize protocol filter\n");
        m_filter.writeMainLog("Failed to initialize protocol filter");
        return -2;
    }
    const nfapi::NF_STATUS status =
        nfapi::nf_init(kDriverName, ProtocolFilters::pf_getNFEventHandler());
    if (status != nfapi::NF_STATUS_SUCCESS) {
        OST_TRACE_TEXT("Failed to connect to driver\n");
        m_filter.writeMainLog(driverFailure(status));
        return -3;
    }
    if (addPortRules() == 0) {
        // Reporting a start while nothing is filtered would hide the fault.
        OST_TRACE_TEXT("Failed to start: no port could be filtered\n");
        m_filter.writeMainLog("Failed to start: no port could be filtered");
        nfapi::nf_free();
        ProtocolFilters::pf_free();
        return -4;
    }
    return 0;
}

// A port whose rule the layer refuses is told in the run log with the reason;
// the others are still filtered. Returns how many rules were taken.
size_t filtermanager::addPortRules() {
    std::vector<uint16_t> ports = m_filter.settings().getPorts();
    if (ports.empty()) {
        m_filter.settings().addPort(kDefaultPort);
        ports.push_back(kDefaultPort);
    }
    size_t taken = 0;
    for (const uint16_t port : ports) {
        nfapi::NF_RULE rule = inboundTcpRule(port);
        if (nfapi::nf_addRule(&rule, 1) == nfapi::NF_STATUS_SUCCESS) {
            ++taken;
            continue;
        }
        std::string message = "Failed to add driver rule for port " + std::to_string(port);
        if (const std::string reason = platform::ruleFailure(); !reason.empty()) {
            message += ": " + reason;
        }
        OST_TRACE_TEXT(message);
        m_filter.writeMainLog(message);
    }
    return taken;
}

void enableDebugPrivilege() {}

} // namespace ostrum
