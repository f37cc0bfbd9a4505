#include "console/editors/data_file.h"

#include "console/shell/console_trace.h"
#include "platform/text.h"

#include <QFile>
#include <QSaveFile>

namespace console {

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

bool readDataFile(const QString& path, QStringList& lines) {
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("readDataFile: cannot read %s", path.toUtf8().constData());
        return false;
    }
    for (const QByteArray& line : splitDataLines(file.readAll())) {
        lines.append(QString::fromStdString(platform::ansiToUtf8(line.toStdString())));
    }
    return true;
}

bool writeDataFile(const QString& path, const QStringList& lines) {
    std::string text;
    for (const QString& line : lines) {
        text += platform::utf8ToAnsi(line.toStdString());
        text += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) < 0 ||
        !file.commit()) {
        CONSOLE_TRACE("writeDataFile: cannot write %s", path.toUtf8().constData());
        return false;
    }
    return true;
}

} // namespace console
