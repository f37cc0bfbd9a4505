// A log file of any content: the backward reader of the status lists, the
// page index of the history viewer and the forward line reader agree on its
// records. A disagreement aborts.
#include "console/shell/log_lines.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

constexpr int kLatest = 10;
constexpr qint32 kPerPage = 3;

QList<QByteArray> forwardRecords(const QString& path, qint64 offset, qsizetype most) {
    QFile file(path);
    QList<QByteArray> records;
    if (!file.open(QIODevice::ReadOnly)) {
        return records;
    }
    console::LogLineReader reader(file, offset);
    QByteArray line;
    bool comment = false;
    while (records.size() < most && reader.next(line, comment)) {
        if (!comment) {
            records.append(line);
        }
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/attack.log");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const QList<QByteArray> all = forwardRecords(path, 0, std::numeric_limits<qsizetype>::max());
    if (console::latestRecords(path, kLatest) !=
        all.mid(qMax<qsizetype>(0, all.size() - kLatest))) {
        std::abort();
    }
    console::LogPageIndex index(kPerPage);
    if (!index.update(path) || index.recordCount() != all.size()) {
        std::abort();
    }
    for (qint32 page = 1; (page - 1) * kPerPage < all.size(); ++page) {
        if (forwardRecords(path, index.pageOffset(page), kPerPage) !=
            all.mid((page - 1) * kPerPage, kPerPage)) {
            std::abort();
        }
    }
    return 0;
}
