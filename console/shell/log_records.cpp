#include "console/shell/log_records.h"

#include "console/shell/log_lines.h"
#include "platform/text.h"

#include <QRegularExpression>

namespace console {
namespace {

QRegularExpression pattern(const char* text) {
    return QRegularExpression(QString::fromLatin1(text), QRegularExpression::CaseInsensitiveOption);
}

} // namespace

QStringList latestRecordLines(const QString& path, int count) {
    QStringList lines;
    for (const QByteArray& record : latestRecords(path, count)) {
        lines.append(QString::fromStdString(
            platform::ansiToUtf8(std::string_view(record.constData(), size_t(record.size())))));
    }
    return lines;
}

// Groups, counted from 1: date and time, cip, dip, dport, host, method, pos,
// rid, action, url. They are greedy: surplus fields go to cip.
bool parseAttackRecord(const QString& line, AttackRow& out) {
    static const QRegularExpression record = pattern(
        R"((\d{4}-\d{2}-\d{2}\s\d{2}:\d{2}:\d{2})\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+))");
    const QRegularExpressionMatch match = record.match(line);
    if (!match.hasMatch()) {
        return false;
    }
    out = {match.captured(1), match.captured(2), match.captured(4),
           match.captured(9), match.captured(8), match.captured(10)};
    return true;
}

bool parseRunLogLine(const QString& line, RunLogRow& out) {
    static const QRegularExpression record =
        pattern(R"((\d{4}-\d{2}-\d{2}\s\d{2}:\d{2}:\d{2})\s+(.+))");
    const QRegularExpressionMatch match = record.match(line);
    if (!match.hasMatch()) {
        return false;
    }
    out = {match.captured(1), match.captured(2)};
    return true;
}

} // namespace console
