#pragma once

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
};

// A CONNLIMIT line found anywhere in the line, in any case; each field trimmed.
std::optional<ConnLimit> readConnLimit(const QString& line);

// The file's lines, one per limit.
QStringList connLimitLines(const QList<ConnLimit>& limits);

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
