#include "console/shell/attack_log_reader.h"

#include "console/shell/console_trace.h"
#include "platform/text.h"

#include <QFile>
#include <QRegularExpression>

namespace console {
namespace {

// A record line is cut here before it is matched; the rest of the line is
// still consumed, so that the numbering matches countLogRecords.
constexpr qint64 kMaxLineBytes = 4 * 1024 * 1024;

const QRegularExpression& recordPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((\d{4}-\d{2}-\d{2}\s\d{2}:\d{2}:\d{2})\s+(.+)\s+(.+)\s+(.+)\s+(.+))"
                       R"(\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+))"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// One line without its end; false at the end of the file.
bool readLine(QFile& file, QByteArray& line) {
    if (file.atEnd()) {
        return false;
    }
    line = file.readLine(kMaxLineBytes);
    if (!line.endsWith('\n')) {
        for (QByteArray rest = line; !rest.isEmpty() && !rest.endsWith('\n');) {
            rest = file.readLine(kMaxLineBytes);
        }
    }
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return true;
}

} // namespace

qint32 pageCount(qint32 records) {
    if (records <= 0) {
        return 0;
    }
    return qint32((qint64(records) + kRecordsPerPage - 1) / kRecordsPerPage);
}

bool parseAttackRecord(const QString& line, QStringList& fields) {
    const QRegularExpressionMatch match = recordPattern().match(line);
    if (!match.hasMatch()) {
        return false;
    }
    fields.clear();
    for (int group = 1; group <= 10; ++group) {
        fields.append(match.captured(group));
    }
    return true;
}

bool readAttackLogPage(const QString& path, qint32 page, QList<QStringList>& rows) {
    rows.clear();
    QFile file(path);
    if (page < 1 || !file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("history: cannot read page %d of %s", page, path.toUtf8().constData());
        return false;
    }
    const qint64 first = qint64(page - 1) * kRecordsPerPage + 1;
    const qint64 last = qint64(page) * kRecordsPerPage;
    qint64 number = 0;
    QByteArray line;
    QStringList fields;
    while (number < last && readLine(file, line)) {
        if (line.startsWith('#')) {
            continue;
        }
        ++number;
        const QString text = QString::fromStdString(
            platform::ansiToUtf8(std::string_view(line.constData(), size_t(line.size()))));
        if (number >= first && parseAttackRecord(text, fields)) {
            rows.append(fields);
        }
    }
    return true;
}

} // namespace console
