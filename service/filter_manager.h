#pragma once

#include "service/http_filter.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace ostrum {

// Brings filtering up and down: settings, rule and list files, the
// protocol filter, the driver and one driver rule per web port.
class filtermanager {
public:
    filtermanager() = default;
    virtual ~filtermanager();
    filtermanager(const filtermanager&) = delete;
    filtermanager& operator=(const filtermanager&) = delete;

    // Always 0; the text becomes one run-log line.
    virtual int writeLog(const char* text);
    // 0 started; -1 protection disabled; -2 protocol filter failed; -3 driver failed;
    // -4 no port could be filtered.
    virtual int start();
    virtual int stop();
    virtual void reset();
    // True when the daily update must not run now.
    virtual bool noUpdateNeeded();
    virtual void checkUpdates(std::string date, std::string folder);
    // One run-log line when connections could not be accepted for want of
    // descriptors since the last such line, at most one a minute.
    void reportDescriptorShortage(std::chrono::steady_clock::time_point now);

    HttpFilter& filter() { return m_filter; }

private:
    // pf_init, nf_init and the port rules; 0, -2, -3 or -4 as start answers.
    int attach();
    size_t addPortRules();

    HttpFilter m_filter;
    uint64_t m_shortagesReported = 0;
    std::optional<std::chrono::steady_clock::time_point> m_lastShortageLine;
};

// Enables the debug privilege of the own process; a no-op here.
void enableDebugPrivilege();

} // namespace ostrum
