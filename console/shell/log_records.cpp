#include "console/shell/log_records.h"

#include "console/shell/console_trace.h"
#include "platform/text.h"

#include <QFile>
#include <QRegularExpression>
#include <deque>

namespace console {
namespace {

// No record the service writes comes near this; a longer line is kept as an
// empty one, so that it still takes its place among the numbered lines.
constexpr qint64 kMaxLineBytes = 4 * 1024 * 1024;

void skipRestOfLine(QFile& file) {
    for (;;) {
        const QByteArray rest = file.readLine(kMaxLineBytes);
        if (rest.isEmpty() || rest.endsWith('\n') || file.atEnd()) {
            return;
        }
    }
}

// Reads one line, without its line end; false at the end of the file and
// on a read error (nothing read before the end).
bool readLine(QFile& file, QByteArray& line) {
    if (file.atEnd()) {
        return false;
    }
    line = file.readLine(kMaxLineBytes);
    if (line.isEmpty()) {
        return false;
    }
    if (!line.endsWith('\n') && !file.atEnd()) {
        skipRestOfLine(file);
        line.clear();
        return true;
    }
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return true;
}

QRegularExpression pattern(const char* text) {
    return QRegularExpression(QString::fromLatin1(text), QRegularExpression::CaseInsensitiveOption);
}

} // namespace

QStringList latestRecordLines(const QString& path, int count) {
    QFile file(path);
    if (count <= 0 || !file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("cannot open %s", path.toUtf8().constData());
        return {};
    }
    std::deque<QByteArray> latest;
    QByteArray line;
    while (readLine(file, line)) {
        if (line.startsWith('#')) {
            continue;
        }
        latest.push_back(line);
        if (latest.size() > size_t(count)) {
            latest.pop_front();
        }
    }
    if (file.error() != QFileDevice::NoError) {
        CONSOLE_TRACE("cannot read %s to its end", path.toUtf8().constData());
    }
    QStringList lines;
    for (const QByteArray& record : latest) {
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
