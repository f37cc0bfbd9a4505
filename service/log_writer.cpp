#include "service/log_writer.h"

#include "platform/clock.h"
#include "service/trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ostrum {
namespace {

constexpr std::string_view kEnd = "\r\n";
// "YYYY-MM-DD HH:MM:SS ": the room kept in front of every line for its stamp.
constexpr size_t kStampLength = 20;
// Lines queued and not yet written, in bytes: about two seconds of detail
// records at full load, small enough to be no memory concern.
constexpr size_t kQueueBytes = 16u << 20;
// How long a caller waits for room in a full queue before it drops its line.
constexpr auto kFullWait = std::chrono::milliseconds(50);
// The writer's thread wakes this often, or sooner once this much is queued:
// a wake for every line would cost more than the line's write.
constexpr auto kWriteInterval = std::chrono::milliseconds(100);
constexpr size_t kBatchBytes = 256u << 10;
// More than the header lines of a file, which a batch may begin.
constexpr size_t kHeaderRoom = 256;

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

// The line with room for its stamp in front, made in line. A bare LF
// inside the text becomes CR LF too, so that a record of several lines
// reads like the rest of the file.
void unstampedLine(std::string_view text, std::string& line) {
    // Room is made before the stamp's blanks go in: one allocation at most.
    line.clear();
    line.reserve(kStampLength + text.size() + 16);
    line.assign(kStampLength, ' ');
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
        const bool bare = lf == 0 || text[lf - 1] != '\r';
        line.append(text.data(), bare ? lf : lf - 1);
        line.append(kEnd);
        text.remove_prefix(lf + 1);
    }
    line.append(text);
    line.append(kEnd);
}

void putDigits(char* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

// Every line pays for its stamp, so the usual one is made without printf.
void stamp(std::string& line, const platform::LocalTime& now) {
    const bool usual = now.year >= 1000 && now.year <= 9999 && now.month >= 0 && now.month < 100 &&
                       now.day >= 0 && now.day < 100 && now.hour >= 0 && now.hour < 100 &&
                       now.minute >= 0 && now.minute < 100 && now.second >= 0 && now.second < 100;
    if (usual) {
        char* out = line.data();
        putDigits(out, now.year, 4);
        out[4] = '-';
        putDigits(out + 5, now.month, 2);
        out[7] = '-';
        putDigits(out + 8, now.day, 2);
        out[10] = ' ';
        putDigits(out + 11, now.hour, 2);
        out[13] = ':';
        putDigits(out + 14, now.minute, 2);
        out[16] = ':';
        putDigits(out + 17, now.second, 2);
        out[19] = ' ';
        return;
    }
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d ", now.year,
                                     now.month, now.day, now.hour, now.minute, now.second);
    line.replace(0, kStampLength, text, std::min(size_t(std::max(length, 0)), sizeof text - 1));
}

// The whole buffer or false; a short write goes on where it stopped.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(size_t(written));
    }
    return true;
}

std::mutex& registryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<LogWriter*>& registry() {
    static std::vector<LogWriter*> writers;
    return writers;
}

} // namespace

LogWriter::LogWriter(Kind kind, DateSource fileDate, std::string* openDate)
    : m_kind(kind), m_fileDate(std::move(fileDate)),
      m_openDate(openDate != nullptr ? openDate : &m_ownDate) {
    const std::lock_guard<std::mutex> guard(registryLock());
    registry().push_back(this);
}

LogWriter::~LogWriter() {
    {
        const std::lock_guard<std::mutex> guard(registryLock());
        std::erase(registry(), this);
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    closeFile();
}

void LogWriter::setReporter(Reporter reporter) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_reporter = std::move(reporter);
}

// The clock is read under the lock: lines enter the queue in the order of
// their stamps, so a line of the day before never follows the switch.
void LogWriter::write(std::string_view text, uint32_t maxSizeMb) {
    Entry entry{{}, {}, maxSizeMb, false};
    unstampedLine(text, entry.line);
    std::unique_lock<std::mutex> lock(m_lock);
    const size_t size = entry.line.size();
    const auto hasRoom = [&] {
        return m_queuedBytes == 0 || m_queuedBytes + size <= kQueueBytes;
    };
    // The clock is asked only when the queue is full.
    if (!hasRoom() && !m_written.wait_for(lock, kFullWait, hasRoom)) {
        ++m_dropped;
        return;
    }
    const platform::LocalTime now = platform::localTime();
    stamp(entry.line, now);
    if (m_kind != Kind::Run) {
        // The file's date is asked again whenever the clock's day changes.
        const int day = (now.year * 100 + now.month) * 100 + now.day;
        if (day != m_clockDay || m_openDate->empty()) {
            m_clockDay = day;
            *m_openDate = m_fileDate ? m_fileDate() : dateText(now);
        }
        entry.date = *m_openDate;
    }
    enqueue(std::move(entry), lock);
    if (m_kind == Kind::Run) {
        // An operator's line is on disk before the service reports what it did.
        lock.lock();
        waitWritten(lock);
    }
}

void LogWriter::enqueue(Entry entry, std::unique_lock<std::mutex>& lock) {
    const bool wasSmall = m_queuedBytes < kBatchBytes;
    m_queuedBytes += entry.line.size();
    m_queue.push_back(std::move(entry));
    ++m_queued;
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { run(); });
    }
    const bool wake = wasSmall && m_queuedBytes >= kBatchBytes;
    lock.unlock();
    if (wake) {
        m_wake.notify_one();
    }
}

void LogWriter::flush() {
    std::unique_lock<std::mutex> lock(m_lock);
    waitWritten(lock);
}

void LogWriter::close() {
    std::unique_lock<std::mutex> lock(m_lock);
    enqueue(Entry{{}, {}, 0, true}, lock);
    lock.lock();
    waitWritten(lock);
}

void LogWriter::waitWritten(std::unique_lock<std::mutex>& lock) {
    const uint64_t target = m_queued;
    if (m_done >= target) {
        return;
    }
    ++m_waiters;
    m_wake.notify_one();
    m_written.wait(lock, [&] { return m_done >= target; });
    --m_waiters;
}

std::string LogWriter::currentFileName() const {
    return fileNameFor(m_fileDate ? m_fileDate() : dateText(platform::localTime()));
}

std::string LogWriter::openDate() {
    const std::lock_guard<std::mutex> guard(m_lock);
    return *m_openDate;
}

void flushAllLogsForTest() {
    const std::lock_guard<std::mutex> guard(registryLock());
    for (LogWriter* writer : registry()) {
        writer->flush();
    }
}

void LogWriter::run() {
    std::vector<Entry> batch;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait_for(lock, kWriteInterval, [this] {
            return m_stopping ||
                   (!m_queue.empty() && (m_waiters != 0 || m_queuedBytes >= kBatchBytes));
        });
        if (m_queue.empty()) {
            if (m_stopping) {
                return;
            }
            continue;
        }
        batch.swap(m_queue);
        m_queuedBytes = 0;
        const uint64_t dropped = std::exchange(m_dropped, 0);
        lock.unlock();
        m_written.notify_all();
        writeBatch(batch, dropped);
        const uint64_t count = batch.size();
        batch.clear(); // the lines are freed outside the lock
        lock.lock();
        m_done += count;
        m_written.notify_all();
    }
}

void LogWriter::writeBatch(std::vector<Entry>& batch, uint64_t dropped) {
    // Room for the whole batch at once; a file's header lines are short.
    size_t total = kHeaderRoom;
    for (const Entry& entry : batch) {
        total += entry.line.size();
    }
    Pending pending;
    pending.bytes.reserve(total);
    for (Entry& entry : batch) {
        if (entry.close) {
            commit(pending);
            closeFile();
            continue;
        }
        prepareFor(entry, pending);
        if (m_fd < 0) {
            continue; // the file cannot be opened: the line is dropped, the next one tries again
        }
        pending.bytes += entry.line;
        ++pending.records;
    }
    commit(pending);
    reportLosses(dropped);
}

// The date switch and the size rule, with the size counted as lines are
// written rather than asked of the file for every line.
void LogWriter::prepareFor(const Entry& entry, Pending& pending) {
    if (m_fd >= 0 && m_kind != Kind::Run && entry.date != m_fileDay) {
        commit(pending);
        switchTo(entry.date, pending);
    }
    if (m_fd < 0) {
        openFor(entry.date, pending);
    }
    if (m_fd >= 0 && ((m_size + pending.bytes.size()) >> 20) > entry.maxSizeMb) {
        commit(pending);
        const std::string name = fileNameFor(m_fileDay);
        closeFile();
        std::remove(name.c_str()); // a failed deletion leaves the file to append to
        openFor(entry.date, pending);
    }
}

void LogWriter::openFor(const std::string& date, Pending& pending) {
    m_fileDay = date;
    const std::string name = fileNameFor(date);
    struct stat info {};
    const bool existed = ::stat(name.c_str(), &info) == 0;
    m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        return;
    }
    m_size = ::fstat(m_fd, &info) == 0 ? uint64_t(info.st_size) : 0;
    if (!existed) {
        pending.bytes += headerText(m_kind, true, date);
    }
}

void LogWriter::switchTo(const std::string& date, Pending& pending) {
    closeFile();
    m_fileDay = date;
    m_fd = ::open(fileNameFor(date).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        return;
    }
    struct stat info {};
    m_size = ::fstat(m_fd, &info) == 0 ? uint64_t(info.st_size) : 0;
    pending.bytes += headerText(m_kind, false, date);
}

// A failed write takes back what it wrote, so the file holds whole lines
// only, and closes the file: the next line opens it afresh.
void LogWriter::commit(Pending& pending) {
    if (pending.bytes.empty() || m_fd < 0) {
        pending.clear();
        return;
    }
    if (writeAll(m_fd, pending.bytes)) {
        m_size += pending.bytes.size();
        pending.clear();
        return;
    }
    m_lostReason = std::strerror(errno);
    m_lost += pending.records;
    pending.clear();
    const std::string name = fileNameFor(m_fileDay);
    if (m_size == 0) {
        std::remove(name.c_str()); // nothing of it was whole: no file, so the next one has its header
    } else if (::ftruncate(m_fd, off_t(m_size)) != 0) {
        OST_TRACE("log file %s keeps a torn line: %s", name.c_str(), std::strerror(errno));
    }
    closeFile();
    OST_TRACE("log write to %s failed: %s", name.c_str(), m_lostReason.c_str());
}

void LogWriter::closeFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

// Lost lines are told once the log writes again; the run log tells its own
// in itself, the daily logs through the reporter.
void LogWriter::reportLosses(uint64_t dropped) {
    m_unreportedDrops += dropped;
    if (m_fd < 0 || (m_lost == 0 && m_unreportedDrops == 0)) {
        return;
    }
    std::string message = fileNameFor(m_fileDay) + ": ";
    if (m_lost != 0) {
        message += "lines lost: " + std::to_string(m_lost) + " (" + m_lostReason + ")";
    }
    if (m_unreportedDrops != 0) {
        message += std::string(m_lost != 0 ? ", " : "") +
                   "lines dropped at a full queue: " + std::to_string(m_unreportedDrops);
    }
    const uint64_t lost = std::exchange(m_lost, 0);
    const uint64_t drops = std::exchange(m_unreportedDrops, 0);
    if (m_kind != Kind::Run) {
        if (m_reporter) {
            m_reporter(std::move(message));
        }
        return;
    }
    Pending pending;
    unstampedLine(message, pending.bytes);
    stamp(pending.bytes, platform::localTime());
    commit(pending);
    if (m_fd < 0) {
        m_lost += lost;
        m_unreportedDrops += drops;
    }
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

} // namespace ostrum
