#include "console/editors/data_file.h"

#include "console/shell/console_trace.h"
#include "platform/text.h"

#include <QFile>
#include <QSaveFile>

namespace console {

bool readDataFile(const QString& path, QStringList& lines) {
    lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        CONSOLE_TRACE("readDataFile: cannot read %s", path.toUtf8().constData());
        return false;
    }
    const QByteArray content = file.readAll();
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
        const std::string_view line(content.constData() + start, size_t(stop - start));
        lines.append(QString::fromStdString(platform::ansiToUtf8(line)));
        start = end + 1;
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
