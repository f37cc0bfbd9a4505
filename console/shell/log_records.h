#pragma once

#include <QString>
#include <QStringList>

namespace console {

// One intrusion event as the status window lists it.
struct AttackRow {
    QString time; // date and time
    QString sourceIp;
    QString targetPort;
    QString action;
    QString ruleId;
    QString url;
};

// One line of the run log: its time and the message to the end of the line.
struct RunLogRow {
    QString time;
    QString content;
};

// The last `count` record lines of a log file, oldest first: lines that do
// not begin with "#", empty ones included, without their line ends and read
// from the ANSI code page. A missing or unreadable file gives none.
QStringList latestRecordLines(const QString& path, int count);

// False when the line does not have the shape of the record.
bool parseAttackRecord(const QString& line, AttackRow& out);
bool parseRunLogLine(const QString& line, RunLogRow& out);

} // namespace console
