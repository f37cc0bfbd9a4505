#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace console {

// A record line is the service's own text: its request, and so its URL, is
// bounded well below this. A longer line keeps its place among the numbered
// lines but reads as an empty one; its first byte still says whether it is
// a "#" line.
constexpr qint64 kMaxRecordLineBytes = 4 * 1024 * 1024;

// The records of a log are its lines that do not begin with "#", empty ones
// included, numbered from 1 in file order. Lines end in LF or CR LF; the last
// one may lack its end.

// Reads lines forward from an offset in fixed pieces: the memory used does
// not depend on the length of a line or of the file.
class LogLineReader {
public:
    explicit LogLineReader(QFile& file, qint64 offset = 0);

    // The next line without its end; false at the end of the file or on a
    // read error. An overlong line gives the empty text.
    [[nodiscard]] bool next(QByteArray& line, bool& comment);

private:
    [[nodiscard]] bool fill();

    QFile& m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
};

// The last `count` records of the file, oldest first, found by reading
// backwards from its end; a missing or unreadable file gives none.
QList<QByteArray> latestRecords(const QString& path, int count);

// The page offsets of one log: where each page of `recordsPerPage` records
// starts. Built once by a scan of the file and extended by scanning only what
// was appended since; a file that was replaced or shortened is scanned anew.
class LogPageIndex {
public:
    explicit LogPageIndex(qint32 recordsPerPage);

    // Brings the index up to the present end of the file at path; false when
    // it cannot be read (the index is then empty).
    bool update(const QString& path);
    void clear();

    qint32 recordCount() const;
    // Where page 1, 2, ... starts reading; -1 for a page past the records.
    qint64 pageOffset(qint32 page) const;

private:
    [[nodiscard]] bool sameFile(QFile& file, quint64 inode) const;
    bool scan(QFile& file);

    qint32 m_perPage;
    QString m_path;
    quint64 m_inode = 0;
    qint64 m_scanned = 0;      // just after the last line end scanned
    qint64 m_records = 0;      // records ended before m_scanned
    bool m_tailRecord = false; // an unended last line that is a record
    QByteArray m_lastLineEnd;  // the bytes just before m_scanned, to spot a rewrite
    QList<qint64> m_pageStarts;
};

// Records of the file at path: the count of an up-to-date LogPageIndex.
qint32 countRecords(const QString& path);

} // namespace console
