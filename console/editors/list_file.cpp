#include "console/editors/list_file.h"

#include "console/editors/data_file.h"
#include "console/shell/console_trace.h"
#include "platform/text.h"

#include <QByteArrayList>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace console {
namespace {

// Far above any list a person keeps; a bigger file is not read.
constexpr qint64 kMaxListFileBytes = 16 * 1024 * 1024;

const QRegularExpression& entryPattern() {
    static const QRegularExpression pattern(
        QStringLiteral(R"re((WL_IP|WL_URL|WL_EXT|WL_HOST|BL_IP|BL_URL|BL_EXT|BL_HOST)\s+"(.+)")re"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

ListRead readRawLines(const QString& path, QByteArrayList& lines) {
    lines.clear();
    QFile file(path);
    if (!file.exists()) {
        return ListRead::Missing;
    }
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListFileBytes) {
        CONSOLE_TRACE("list file: cannot read %s", path.toUtf8().constData());
        return ListRead::Failed;
    }
    const QByteArray content = file.read(kMaxListFileBytes + 1);
    if (content.size() > kMaxListFileBytes || file.error() != QFileDevice::NoError) {
        CONSOLE_TRACE("list file: cannot read %s", path.toUtf8().constData());
        return ListRead::Failed;
    }
    lines = splitDataLines(content);
    return ListRead::Read;
}

// True when the raw line is an entry of key; its value then goes to value.
bool entryOf(const QByteArray& raw, const QString& key, QString* value) {
    if (raw.startsWith('#')) {
        return false;
    }
    const QString line = QString::fromStdString(platform::ansiToUtf8(raw.toStdString()));
    const QRegularExpressionMatch match = entryPattern().match(line);
    if (!match.hasMatch() || match.captured(1).compare(key, Qt::CaseInsensitive) != 0) {
        return false;
    }
    if (value != nullptr) {
        *value = match.captured(2);
    }
    return true;
}

} // namespace

ListRead readListValues(const QString& path, const QString& key, QStringList& values) {
    values.clear();
    QByteArrayList lines;
    const ListRead read = readRawLines(path, lines);
    QString value;
    for (const QByteArray& raw : lines) {
        if (entryOf(raw, key, &value)) {
            values.append(value);
        }
    }
    return read;
}

bool writeListValues(const QString& path, const QString& key, const QStringList& values) {
    QByteArrayList lines;
    if (readRawLines(path, lines) == ListRead::Failed) {
        return false;
    }
    QByteArray text;
    for (const QByteArray& raw : lines) {
        if (!entryOf(raw, key, nullptr)) {
            text += raw + "\r\n";
        }
    }
    for (const QString& value : values) {
        text += QByteArray::fromStdString(
            platform::utf8ToAnsi(listEntryLine(key, value).toStdString()));
        text += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        CONSOLE_TRACE("list file: cannot write %s", path.toUtf8().constData());
        return false;
    }
    return true;
}

QString listEntryLine(const QString& key, const QString& value) {
    return key + QStringLiteral("   \"") + value + QLatin1Char('"');
}

} // namespace console
