#include "console/shell/log_lines.h"

#include "console/shell/console_trace.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace console {
namespace {

// Pieces read at a time: a page of records or the last ten lines fit in a
// few; a full scan reads larger ones to keep the calls few.
constexpr qint64 kLineChunkBytes = 64 * 1024;
constexpr qint64 kScanChunkBytes = 1024 * 1024;
// Bytes kept from the end of the last scanned line to tell an appended file
// from one rewritten in place with another content.
constexpr qint64 kFingerprintBytes = 64;

void chopLineEnd(QByteArray& line) {
    if (line.endsWith('\r')) {
        line.chop(1);
    }
}

bool readAt(QFile& file, qint64 offset, qint64 length, QByteArray& out) {
    out.resize(length);
    return file.seek(offset) && file.read(out.data(), length) == length;
}

// Walks a file backwards from its end in fixed pieces.
class BackwardReader {
public:
    explicit BackwardReader(QFile& file) : m_file(file) {}

    // The offset of the last LF before `before`, -1 when there is none, -2
    // on a read error.
    qint64 previousNewline(qint64 before) {
        while (before > 0) {
            if (before <= m_start || before > m_start + m_buffer.size()) {
                if (!load(before)) {
                    return -2;
                }
            }
            const char* base = m_buffer.constData();
            if (const void* hit = memrchr(base, '\n', size_t(before - m_start))) {
                return m_start + (static_cast<const char*>(hit) - base);
            }
            before = m_start;
        }
        return -1;
    }

    // The bytes from begin to end, or only the first one for an overlong
    // line (then `line` is empty).
    bool line(qint64 begin, qint64 end, QByteArray& line, bool& comment) {
        const bool overlong = end - begin > kMaxRecordLineBytes;
        const qint64 length = overlong ? std::min<qint64>(end - begin, 1) : end - begin;
        if (begin >= m_start && begin + length <= m_start + m_buffer.size()) {
            line = m_buffer.mid(begin - m_start, length);
        } else if (!readAt(m_file, begin, length, line)) {
            return false;
        }
        comment = line.startsWith('#');
        if (overlong) {
            line.clear();
        }
        chopLineEnd(line);
        return true;
    }

private:
    bool load(qint64 end) {
        m_start = std::max<qint64>(0, end - kLineChunkBytes);
        return readAt(m_file, m_start, end - m_start, m_buffer);
    }

    QFile& m_file;
    QByteArray m_buffer;
    qint64 m_start = 0;
};

} // namespace

LogLineReader::LogLineReader(QFile& file, qint64 offset) : m_file(file) {
    if (!m_file.seek(offset)) {
        CONSOLE_TRACE("cannot seek to %lld in %s", static_cast<long long>(offset),
                      m_file.fileName().toUtf8().constData());
    }
}

bool LogLineReader::fill() {
    m_buffer.resize(kLineChunkBytes);
    const qint64 got = m_file.read(m_buffer.data(), kLineChunkBytes);
    m_buffer.resize(std::max<qint64>(got, 0));
    m_pos = 0;
    return got > 0;
}

bool LogLineReader::next(QByteArray& line, bool& comment) {
    line.clear();
    bool started = false;
    bool overlong = false;
    for (;;) {
        if (m_pos >= m_buffer.size() && !fill()) {
            break;
        }
        const char* begin = m_buffer.constData() + m_pos;
        const qsizetype available = m_buffer.size() - m_pos;
        if (!started) {
            started = true;
            comment = *begin == '#';
        }
        const auto* end = static_cast<const char*>(memchr(begin, '\n', size_t(available)));
        const qsizetype taken = end != nullptr ? end - begin : available;
        if (!overlong && line.size() + taken > kMaxRecordLineBytes) {
            overlong = true;
            line.clear();
        }
        if (!overlong) {
            line.append(begin, taken);
        }
        m_pos += taken + (end != nullptr ? 1 : 0);
        if (end != nullptr) {
            break;
        }
    }
    chopLineEnd(line);
    return started;
}

QList<QByteArray> latestRecords(const QString& path, int count) {
    QFile file(path);
    if (count <= 0 || !file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("cannot open %s", path.toUtf8().constData());
        return {};
    }
    BackwardReader reader(file);
    QList<QByteArray> found;
    qint64 end = file.size();
    if (end == 0) {
        return found;
    }
    // The line end of the last line ends no further line.
    if (reader.previousNewline(end) == end - 1) {
        --end;
    }
    while (end >= 0 && found.size() < count) {
        const qint64 newline = reader.previousNewline(end);
        QByteArray line;
        bool comment = false;
        if (newline == -2 || !reader.line(newline + 1, end, line, comment)) {
            CONSOLE_TRACE("cannot read %s backwards", path.toUtf8().constData());
            break;
        }
        if (!comment) {
            found.prepend(line);
        }
        end = newline;
    }
    return found;
}

LogPageIndex::LogPageIndex(qint32 recordsPerPage) : m_perPage(recordsPerPage) {
    clear();
}

void LogPageIndex::clear() {
    m_path.clear();
    m_inode = 0;
    m_scanned = 0;
    m_records = 0;
    m_tailRecord = false;
    m_lastLineEnd.clear();
    m_pageStarts = {0};
}

bool LogPageIndex::update(const QString& path) {
    if (path != m_path) {
        clear();
        m_path = path;
    }
    QFile file(path);
    struct stat status {};
    if (!file.open(QIODevice::ReadOnly) || fstat(file.handle(), &status) != 0) {
        clear();
        m_path = path;
        return false;
    }
    const quint64 inode = quint64(status.st_ino);
    if (!sameFile(file, inode)) {
        clear();
        m_path = path;
    }
    m_inode = inode;
    if (!scan(file)) {
        CONSOLE_TRACE("cannot index %s", path.toUtf8().constData());
        clear();
        m_path = path;
        return false;
    }
    return true;
}

bool LogPageIndex::sameFile(QFile& file, quint64 inode) const {
    if (m_scanned == 0) {
        return true;
    }
    QByteArray end;
    return inode == m_inode && file.size() >= m_scanned &&
           readAt(file, m_scanned - m_lastLineEnd.size(), m_lastLineEnd.size(), end) &&
           end == m_lastLineEnd;
}

// Counts the lines ended since m_scanned, noting where every page starts;
// an unended last line is counted but left to the next scan.
bool LogPageIndex::scan(QFile& file) {
    if (!file.seek(m_scanned)) {
        return false;
    }
    QByteArray buffer(kScanChunkBytes, Qt::Uninitialized);
    qint64 offset = m_scanned;
    bool lineStart = true;
    bool comment = false;
    for (;;) {
        const qint64 got = file.read(buffer.data(), kScanChunkBytes);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        const char* base = buffer.constData();
        for (const char* p = base; p < base + got;) {
            if (lineStart) {
                comment = *p == '#';
                lineStart = false;
            }
            const auto* end = static_cast<const char*>(memchr(p, '\n', size_t(base + got - p)));
            if (end == nullptr) {
                break;
            }
            p = end + 1;
            lineStart = true;
            m_scanned = offset + (p - base);
            if (!comment && ++m_records % m_perPage == 0) {
                m_pageStarts.append(m_scanned);
            }
        }
        offset += got;
    }
    m_tailRecord = !lineStart && !comment;
    const qint64 kept = std::min(m_scanned, kFingerprintBytes);
    return readAt(file, m_scanned - kept, kept, m_lastLineEnd);
}

qint32 LogPageIndex::recordCount() const {
    const qint64 records = m_records + (m_tailRecord ? 1 : 0);
    return qint32(std::min<qint64>(records, std::numeric_limits<qint32>::max()));
}

qint64 LogPageIndex::pageOffset(qint32 page) const {
    const qint64 pages = (qint64(recordCount()) + m_perPage - 1) / m_perPage;
    if (page < 1 || page > pages || page > m_pageStarts.size()) {
        return -1;
    }
    return m_pageStarts[page - 1];
}

qint32 countRecords(const QString& path) {
    LogPageIndex index(std::numeric_limits<qint32>::max());
    if (!QFile::exists(path)) {
        return 0;
    }
    (void)index.update(path);
    return index.recordCount();
}

} // namespace console
