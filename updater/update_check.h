#pragma once

#include "updater/http_get.h"
#include "updater/update_settings.h"

#include <string>
#include <vector>

namespace ostrum::updater {

// What the server learns of this installation with the check.
struct CheckFacts {
    std::string machineCode;
    std::string osName;
    uint64_t physicalMemoryKB = 0;
    double random = 0; // in [0, 1), so that no cache answers
};

// "?ostrum_ver=...&rand=..." with the values as they stand.
std::string checkQuery(const UpdateSettings& settings, const CheckFacts& facts);

struct CheckResult {
    std::string server; // the address that answered, ending in "/"
    std::string reply;  // empty when none answered
};

// Asks each address of 6 characters or more in turn; the first reply of 7
// characters or more ends the search. Without one, server is the built-in
// address.
CheckResult checkForUpdates(const std::vector<std::string>& addresses, const std::string& query,
                            const EventPump& pump = {});

} // namespace ostrum::updater
