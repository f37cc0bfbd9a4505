#include "console/editors/conn_limit_file.h"

#include "console/editors/record_lines.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <cstdint>

namespace console::connlimit {
namespace {

const QRegularExpression& limitExpression() {
    // An empty name reads too: the service accepts it, and the next save
    // must not drop the limit.
    static const QRegularExpression expression(
        QStringLiteral(R"re(CONNLIMIT\s+(.+)\s+(.+)\s+"(.*)")re"),
        QRegularExpression::CaseInsensitiveOption);
    return expression;
}

bool isBlank(QChar c) {
    return c.isSpace();
}

} // namespace

std::optional<ConnLimit> readConnLimit(const QString& line) {
    const QRegularExpressionMatch match = limitExpression().match(line);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    return ConnLimit{match.captured(1).trimmed(), match.captured(2).trimmed(),
                     match.captured(3).trimmed()};
}

QString connLimitLine(const ConnLimit& limit) {
    return QStringLiteral("CONNLIMIT  ") + limit.maxconn + QStringLiteral("  ") + limit.ips +
           QStringLiteral("  \"") + limit.remark + QLatin1Char('"');
}

QByteArray connLimitFile(const QByteArrayList& lines, const QList<ConnLimit>& limits) {
    QMap<int, ConnLimit> read;
    for (int i = 0; i < int(lines.size()); ++i) {
        if (lines[i].startsWith('#')) {
            continue;
        }
        if (const std::optional<ConnLimit> limit = readConnLimit(lineText(lines[i]))) {
            read.insert(i, *limit);
        }
    }
    LineEdits edits(lines);
    const int newLimitsAt = read.isEmpty() ? int(lines.size()) : read.lastKey() + 1;
    QSet<int> kept;
    for (const ConnLimit& limit : limits) {
        const auto was = read.constFind(limit.line);
        if (was == read.cend() || kept.contains(limit.line)) {
            edits.insertBefore(newLimitsAt, ansiLine(connLimitLine(limit)));
            continue;
        }
        kept.insert(limit.line);
        if (was->maxconn != limit.maxconn || was->ips != limit.ips || was->remark != limit.remark) {
            edits.replace(limit.line, {ansiLine(connLimitLine(limit))});
        }
    }
    for (const int line : read.keys()) {
        if (!kept.contains(line)) {
            edits.replace(line, {});
        }
    }
    return edits.text();
}

bool validMaxConn(const QString& typed) {
    const QString digits = typed.trimmed();
    if (digits.isEmpty() || digits.size() > 10) {
        return false;
    }
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    const qulonglong value = digits.toULongLong();
    return value >= 1 && value <= UINT32_MAX;
}

QString rangesLine(const QString& typed) {
    QString joined;
    const QStringList lines =
        QString(typed).replace(QLatin1Char('\r'), QString()).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            joined += QLatin1Char(',');
        }
        for (QChar c : lines[i]) {
            if (!isBlank(c)) {
                joined += c;
            }
        }
    }
    return joined;
}

QString rangesText(const QString& ips) {
    return QString(ips).replace(QLatin1Char(','), QLatin1Char('\n'));
}

bool validRemark(const QString& remark) {
    for (QChar c : remark) {
        if (isBlank(c)) {
            return false;
        }
    }
    return true;
}

} // namespace console::connlimit
