#pragma once

#include "platform/clock.h"
#include "platform/mutex.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace ostrum {

// One of the service's logs: the run log, or a daily attack or detail log
// that switches files at its first write of a new day. Each write holds the
// writer's own lock for the size check, the switch and the line, so lines
// never interleave. Every line ends in CR LF and is flushed at once.
class LogWriter {
public:
    enum class Kind { Run, Attack, Detail };

    explicit LogWriter(Kind kind);
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Writes date, blank, time, blank, text. maxSizeMb: the size limit.
    void write(std::string_view text, uint32_t maxSizeMb);
    void close();

    // The file name of today's log ("log/ostrum.log" for the run log).
    std::string currentFileName() const;
    // The date of the daily file now open; empty before the first write.
    std::string openDate();

private:
    std::string fileNameFor(const std::string& date) const;
    void dropWhenTooLarge(const std::string& name, uint32_t maxSizeMb);
    void openFor(const std::string& date);
    void switchTo(const std::string& date);
    void writeHeader(bool newFile, const std::string& date);
    void writeLine(const platform::LocalTime& now, std::string_view text);

    const Kind m_kind;
    Mutex m_lock;
    std::ofstream m_stream;
    std::string m_date;
};

} // namespace ostrum
