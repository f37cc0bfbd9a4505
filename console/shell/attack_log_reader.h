#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace console {

constexpr qint32 kRecordsPerPage = 200;

// Pages needed for a count of records: the quotient rounded up.
qint32 pageCount(qint32 records);

// The ten fields of one attack-log record line (date and time, client,
// server, port, host, method, position, rule, action, URL) as the record
// pattern captures them; false when the line does not match.
bool parseAttackRecord(const QString& line, QStringList& fields);

// The rows of the page that starts at offset (LogPageIndex::pageOffset):
// its 200 records, of which one that does not match the pattern takes its
// place without giving a row. False when the file cannot be opened.
bool readAttackLogRecords(const QString& path, qint64 offset, QList<QStringList>& rows);

// The rows of one page, records (page - 1) * 200 + 1 to page * 200, found
// through an index of the whole file; none for a page past its records.
bool readAttackLogPage(const QString& path, qint32 page, QList<QStringList>& rows);

} // namespace console
