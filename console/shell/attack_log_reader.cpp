#include "console/shell/attack_log_reader.h"

#include "console/shell/console_trace.h"
#include "console/shell/log_lines.h"
#include "platform/text.h"

#include <QFile>
#include <QRegularExpression>

namespace console {
namespace {

const QRegularExpression& recordPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"((\d{4}-\d{2}-\d{2}\s\d{2}:\d{2}:\d{2})\s+(.+)\s+(.+)\s+(.+)\s+(.+))"
                       R"(\s+(.+)\s+(.+)\s+(.+)\s+(.+)\s+(.+))"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
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

bool readAttackLogRecords(const QString& path, qint64 offset, QList<QStringList>& rows) {
    rows.clear();
    QFile file(path);
    if (offset < 0 || !file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("history: cannot read %s from %lld", path.toUtf8().constData(),
                      static_cast<long long>(offset));
        return false;
    }
    LogLineReader reader(file, offset);
    QByteArray line;
    bool comment = false;
    QStringList fields;
    for (qint32 number = 0; number < kRecordsPerPage && reader.next(line, comment);) {
        if (comment) {
            continue;
        }
        ++number;
        const QString text = QString::fromStdString(
            platform::ansiToUtf8(std::string_view(line.constData(), size_t(line.size()))));
        if (parseAttackRecord(text, fields)) {
            rows.append(fields);
        }
    }
    return true;
}

bool readAttackLogPage(const QString& path, qint32 page, QList<QStringList>& rows) {
    rows.clear();
    LogPageIndex index(kRecordsPerPage);
    if (page < 1 || !index.update(path)) {
        CONSOLE_TRACE("history: cannot read page %d of %s", page, path.toUtf8().constData());
        return false;
    }
    const qint64 offset = index.pageOffset(page);
    return offset < 0 || readAttackLogRecords(path, offset, rows);
}

} // namespace console
