#include "console/editors/data_file.h"

#include "console/shell/console_trace.h"

#include <QFile>
#include <QSaveFile>

namespace console {
namespace {

// Far above any rule file a person keeps; a bigger file is not read (and so
// never replaced by a window that could show only part of it).
constexpr qint64 kMaxDataFileBytes = 64 * 1024 * 1024;

} // namespace

QByteArrayList splitDataLines(const QByteArray& content) {
    QByteArrayList lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const bool ended = end >= 0;
        if (!ended) {
            end = content.size();
        }
        qsizetype stop = end;
        if (ended && stop > start && content[stop - 1] == '\r') {
            --stop;
        }
        lines.append(content.mid(start, stop - start));
        start = end + 1;
    }
    return lines;
}

bool readDataFile(const QString& path, QByteArrayList& lines) {
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("readDataFile: cannot read %s", path.toUtf8().constData());
        return false;
    }
    const QByteArray content = file.read(kMaxDataFileBytes + 1);
    if (content.size() > kMaxDataFileBytes || file.error() != QFileDevice::NoError) {
        CONSOLE_TRACE("readDataFile: %s too big or unreadable", path.toUtf8().constData());
        return false;
    }
    lines = splitDataLines(content);
    return true;
}

bool writeDataFile(const QString& path, const QByteArray& content) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        CONSOLE_TRACE("writeDataFile: cannot write %s", path.toUtf8().constData());
        return false;
    }
    return true;
}

} // namespace console
