#pragma once

#include "updater/http_get.h"

#include <string>

namespace ostrum::updater {

// The account the report is uploaded with.
constexpr const char* kReportUser = "ostrum";
constexpr const char* kReportPassword = "kvrmtqzhwpbe";

// What the daily report needs of the update run.
struct ReportContext {
    std::string base;   // the program folder, ending in "/"
    std::string m_code; // the machine identifier
    std::string ftpHost;
    std::string ftpPort;
    std::string server; // the update address that answered, ending in "/"
    bool updated = false;
};

// The upload address, "ftp://host:port/" (an empty port stays empty).
std::string reportUploadUrl(const ReportContext& context);

// Collects the run log, yesterday's attack and detail logs and a regex.txt
// changed today into report/, packs them, uploads the archive and confirms
// the report (and an applied update) to the server. Names other than the
// report folder are relative to the current folder.
void sendLogReport(const ReportContext& context, const EventPump& pump = {});

} // namespace ostrum::updater
