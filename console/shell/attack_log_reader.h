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

// The rows of one page of an attack log. Records are the lines that do not
// begin with "#", numbered from 1 as countLogRecords counts them; the page
// holds records (page - 1) * 200 + 1 to page * 200, and a record that does
// not match the pattern takes its place without giving a row. The file is
// read only up to the page's last record. False when it cannot be opened.
bool readAttackLogPage(const QString& path, qint32 page, QList<QStringList>& rows);

} // namespace console
