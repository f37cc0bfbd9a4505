#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ostrum {

// One of the service's logs: the run log, or a daily attack or detail log
// that switches files at its first line of a new day. The caller formats
// its line (time stamp included) and queues it under the writer's lock, so
// lines keep the order in which they were made; one thread of the writer's
// own writes the queue in batches, a batch with one write, at least every
// tenth of a second, so a request never waits for the disk. Every line ends
// in CR LF.
class LogWriter {
public:
    enum class Kind { Run, Attack, Detail };
    // The date ("YYYY-MM-DD") that names the daily file of a line made now.
    using DateSource = std::function<std::string()>;
    // Where lines that could not be written are reported (the run log).
    using Reporter = std::function<void(std::string)>;

    // fileDate: the clock's date when empty. openDate: where the date of the
    // daily file in use is kept (the writer's own member when null); it is
    // only touched under this writer's lock.
    explicit LogWriter(Kind kind, DateSource fileDate = {}, std::string* openDate = nullptr);
    // Writes everything queued, then stops the writer's thread.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Before the first write.
    void setReporter(Reporter reporter);

    // Queues date, blank, time, blank, text. maxSizeMb: the size limit.
    // With a full queue it waits briefly, then drops the line and counts it.
    // A run-log line is written before the call returns.
    void write(std::string_view text, uint32_t maxSizeMb);
    // Returns once every line queued before the call is written or lost.
    void flush();
    // flush, then closes the file; the next line opens it again.
    void close();

    // The file name of today's log ("log/ostrum.log" for the run log).
    std::string currentFileName() const;
    // The date of the daily file in use; empty before the first line.
    std::string openDate();


private:
    struct Entry {
        std::string line; // stamped, ends in CR LF; empty for a close
        std::string date;
        uint32_t maxSizeMb = 0;
        bool close = false;
    };
    // Lines of one batch waiting for their write, and how many records they hold.
    struct Pending {
        std::string bytes;
        uint64_t records = 0;
        // Emptied, with its room kept for the rest of the batch.
        void clear() {
            bytes.clear();
            records = 0;
        }
    };

    void enqueue(Entry entry, std::unique_lock<std::mutex>& lock);
    void waitWritten(std::unique_lock<std::mutex>& lock);
    void run();
    void writeBatch(std::vector<Entry>& batch, uint64_t dropped);
    void prepareFor(const Entry& entry, Pending& pending);
    void commit(Pending& pending);
    void openFor(const std::string& date, Pending& pending);
    void switchTo(const std::string& date, Pending& pending);
    void closeFile();
    void reportLosses(uint64_t dropped);
    std::string fileNameFor(const std::string& date) const;

    const Kind m_kind;
    const DateSource m_fileDate;
    Reporter m_reporter;

    // Guarded by m_lock.
    std::mutex m_lock;
    std::condition_variable m_wake;    // the writer's thread: work or stop
    std::condition_variable m_written; // callers: queue space or lines written
    std::vector<Entry> m_queue;
    size_t m_queuedBytes = 0;
    uint64_t m_queued = 0;
    uint64_t m_done = 0;
    uint64_t m_dropped = 0;
    int m_waiters = 0; // callers waiting for lines to be written
    bool m_stopping = false;
    int m_clockDay = 0; // the clock's day of the last line, as yyyymmdd
    std::string m_ownDate;
    std::string* m_openDate;
    std::thread m_thread;

    // The writer's thread alone.
    int m_fd = -1;
    std::string m_fileDay;
    uint64_t m_size = 0; // bytes in the open file
    uint64_t m_lost = 0;           // lines whose write failed, not yet reported
    uint64_t m_unreportedDrops = 0; // lines dropped at a full queue, not yet reported
    std::string m_lostReason;
};

// flush of every writer alive, so that a test may read the files.
void flushAllLogsForTest();

} // namespace ostrum
