#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace console::connlimit {

// One connection limit as the list shows it.
struct ConnLimit {
    QString maxconn;
    QString ips;    // the ranges joined by ","
    QString remark; // the name, without its double quotes
    int line = -1;  // the file line it was read from; -1: a new limit
};

// A CONNLIMIT line found anywhere in the line, in any case; each field trimmed.
std::optional<ConnLimit> readConnLimit(const QString& line);

// The written form of a limit's line.
QString connLimitLine(const ConnLimit& limit);

// The file that a save of limits makes of the lines they were read from: a
// changed limit is written in place, a deleted one's line goes, new limits
// follow the file's last limit line; every other line stays as it was.
QByteArray connLimitFile(const QByteArrayList& lines, const QList<ConnLimit>& limits);

// Whether the maximum is a whole number from 1 to the largest the service
// reads (blanks around it allowed).
bool validMaxConn(const QString& typed);

// The dialog's ranges, one a line, as the list holds them: joined by ","
// with the blanks taken out (the service would split the line at them).
QString rangesLine(const QString& typed);
// The list's ranges one a line, for the dialog.
QString rangesText(const QString& ips);

// Whether the remark reads back as one name: blanks inside it would move
// its first part into the service's ranges.
bool validRemark(const QString& remark);

} // namespace console::connlimit
