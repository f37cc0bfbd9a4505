#include "service/log_writer.h"

#include "service/file_probe.h"

#include <algorithm>
#include <cstdio>

namespace ostrum {
namespace {

constexpr std::string_view kEnd = "\r\n";
constexpr std::ios::openmode kAppend = std::ios::binary | std::ios::app;

std::string dateText(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string headerText(LogWriter::Kind kind, bool newFile, const std::string& date) {
    const std::string version = "#Version: 1.0\r\n";
    const std::string dateLine = "#Date: " + date + "\r\n";
    const std::string fields =
        "#Fields: date time cip dip dport host method pos rid action url\r\n";
    switch (kind) {
    case LogWriter::Kind::Run:
        return "#Ostrum log\r\n" + version + "\r\n";
    case LogWriter::Kind::Attack:
        return newFile ? "#Ostrum attack log\r\n" + version + fields + "\r\n"
                       : "#Ostrum attack log\r\n" + version + dateLine + fields;
    case LogWriter::Kind::Detail:
        return newFile ? "#Ostrum detial log\r\n" + version + dateLine + "\r\n"
                       : "#Ostrum detail log\r\n" + version + dateLine;
    }
    return {};
}

} // namespace

LogWriter::LogWriter(Kind kind) : m_kind(kind) {}

// The clock is read under the lock: a thread that read the time earlier
// must not switch a file back to the day before.
void LogWriter::write(std::string_view text, uint32_t maxSizeMb) {
    std::lock_guard<Mutex> guard(m_lock);
    const platform::LocalTime now = platform::localTime();
    const std::string today = dateText(now);
    dropWhenTooLarge(fileNameFor(today), maxSizeMb);
    if (!m_stream.is_open()) {
        openFor(today);
    } else if (m_kind != Kind::Run && m_date != today) {
        switchTo(today);
    }
    if (m_stream.is_open()) {
        writeLine(now, text);
    }
}

void LogWriter::close() {
    std::lock_guard<Mutex> guard(m_lock);
    if (m_stream.is_open()) {
        m_stream.flush();
        m_stream.close();
    }
}

std::string LogWriter::currentFileName() const {
    return fileNameFor(dateText(platform::localTime()));
}

std::string LogWriter::openDate() {
    std::lock_guard<Mutex> guard(m_lock);
    return m_date;
}

std::string LogWriter::fileNameFor(const std::string& date) const {
    switch (m_kind) {
    case Kind::Run:
        return "log/ostrum.log";
    case Kind::Attack:
        return "log/attack" + date + ".log";
    case Kind::Detail:
        return "log/detail" + date + ".log";
    }
    return {};
}

// A failed deletion leaves the old file, which the next open appends to.
void LogWriter::dropWhenTooLarge(const std::string& name, uint32_t maxSizeMb) {
    if (fileSizeMB(name) <= maxSizeMb) {
        return;
    }
    if (m_stream.is_open()) {
        m_stream.close();
    }
    std::remove(name.c_str());
}

void LogWriter::openFor(const std::string& date) {
    m_date = date;
    const std::string name = fileNameFor(date);
    const bool existed = fileExists(name);
    m_stream.open(name, kAppend);
    if (m_stream.is_open() && !existed) {
        writeHeader(true, date);
    }
}

void LogWriter::switchTo(const std::string& date) {
    m_date = date;
    m_stream.flush();
    m_stream.close();
    m_stream.open(fileNameFor(date), kAppend);
    if (m_stream.is_open()) {
        writeHeader(false, date);
    }
}

void LogWriter::writeHeader(bool newFile, const std::string& date) {
    const std::string header = headerText(m_kind, newFile, date);
    m_stream.write(header.data(), std::streamsize(header.size()));
    m_stream.flush();
}

// A bare LF inside the text becomes CR LF too, so that a record of several
// lines reads like the rest of the file.
void LogWriter::writeLine(const platform::LocalTime& now, std::string_view text) {
    char stamp[64];
    const int length = std::snprintf(stamp, sizeof stamp, "%4d-%02d-%02d %02d:%02d:%02d ", now.year,
                                     now.month, now.day, now.hour, now.minute, now.second);
    m_stream.write(stamp, std::min<std::streamsize>(length, sizeof stamp - 1));
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
        const bool bare = lf == 0 || text[lf - 1] != '\r';
        m_stream.write(text.data(), std::streamsize(bare ? lf : lf - 1));
        m_stream.write(kEnd.data(), std::streamsize(kEnd.size()));
        text.remove_prefix(lf + 1);
    }
    m_stream.write(text.data(), std::streamsize(text.size()));
    m_stream.write(kEnd.data(), std::streamsize(kEnd.size()));
    m_stream.flush();
}

} // namespace ostrum
