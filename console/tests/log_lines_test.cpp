// The log readers against a plain reading of the whole file: the last
// records read backwards, the page index and its growth, the line reader.
#include "console/shell/attack_log_reader.h"
#include "console/shell/log_lines.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace console;

namespace {

struct Line {
    QByteArray text;
    bool comment;
};

// The lines of a log as a reader of the whole file sees them.
QList<Line> allLines(const QByteArray& content) {
    QList<QByteArray> pieces = content.split('\n');
    if (content.isEmpty() || content.endsWith('\n')) {
        pieces.removeLast();
    }
    QList<Line> lines;
    for (QByteArray piece : pieces) {
        const bool comment = piece.startsWith('#');
        if (piece.size() > kMaxRecordLineBytes) {
            piece.clear();
        }
        if (piece.endsWith('\r')) {
            piece.chop(1);
        }
        lines.append({piece, comment});
    }
    return lines;
}

QList<QByteArray> records(const QByteArray& content) {
    QList<QByteArray> out;
    for (const Line& line : allLines(content)) {
        if (!line.comment) {
            out.append(line.text);
        }
    }
    return out;
}

// Header lines, records, empty lines, CR LF and LF ends, lines longer than
// a read piece; the last line with or without its end.
QByteArray mixedLog(quint32 seed, int lines) {
    QRandomGenerator random(seed);
    QByteArray content;
    for (int i = 0; i < lines; ++i) {
        switch (random.bounded(8)) {
        case 0:
            content += "#Fields: date time\r\n";
            break;
        case 1:
            content += "\r\n";
            break;
        case 2:
            content += "\n";
            break;
        case 3:
            content += "2026-12-09 10:00:00 " + QByteArray(random.bounded(70000), 'u') + "\r\n";
            break;
        default:
            content += "2026-12-09 10:00:00 record " + QByteArray::number(i) + "\r\n";
        }
    }
    if (random.bounded(2) == 0) {
        content += "2026-12-09 10:00:00 unended";
    }
    return content;
}

class Folder {
public:
    QString write(const QByteArray& content, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
        QFile file(path());
        if (file.open(mode)) {
            file.write(content);
        }
        return path();
    }
    QString path() const { return m_dir.path() + QStringLiteral("/attack.log"); }

private:
    QTemporaryDir m_dir;
};

QList<QByteArray> pageByReader(const QString& path, qint64 offset, int records) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    LogLineReader reader(file, offset);
    QList<QByteArray> out;
    QByteArray line;
    bool comment = false;
    while (out.size() < records && reader.next(line, comment)) {
        if (!comment) {
            out.append(line);
        }
    }
    return out;
}

} // namespace

class LogLinesTest : public QObject {
    Q_OBJECT
private slots:
    void latestRecordsMatchAWholeReading();
    void edgesOfTheFile();
    void overlongLinesKeepTheirPlace();
    void indexPagesMatchAWholeReading();
    void indexFollowsAGrowingFile();
    void indexStartsAgainOnARewrittenFile();
};

void LogLinesTest::latestRecordsMatchAWholeReading() {
    Folder folder;
    for (quint32 seed = 1; seed <= 12; ++seed) {
        const QByteArray content = mixedLog(seed, 60);
        const QString path = folder.write(content);
        const QList<QByteArray> expected = records(content);
        for (int count : {1, 10, 59, 1000}) {
            QCOMPARE(latestRecords(path, count), expected.mid(qMax(0, expected.size() - count)));
        }
    }
}

void LogLinesTest::edgesOfTheFile() {
    Folder folder;
    QCOMPARE(latestRecords(folder.path(), 10), QList<QByteArray>());
    QCOMPARE(countRecords(folder.path()), 0);
    const struct {
        QByteArray content;
        QList<QByteArray> records;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"\r\n", {""}},
        {"#only\r\n", {}},
        {"#h\r\n\r\n", {""}},
        {"a", {"a"}},
        {"a\n\nb", {"a", "", "b"}},
        {"#h\r\na\r\n#h\r\nb\r\n", {"a", "b"}},
    };
    for (const auto& c : cases) {
        const QString path = folder.write(c.content);
        QCOMPARE(latestRecords(path, 10), c.records);
        QCOMPARE(countRecords(path), qint32(c.records.size()));
        QCOMPARE(pageByReader(path, 0, 10), c.records);
    }
    QCOMPARE(latestRecords(folder.path(), 0), QList<QByteArray>());
}

void LogLinesTest::overlongLinesKeepTheirPlace() {
    Folder folder;
    const QByteArray huge(kMaxRecordLineBytes + 10, 'x');
    const QByteArray content = "a\r\n" + huge + "\r\n#" + huge + "\r\nb\r\n" + huge;
    const QString path = folder.write(content);
    const QList<QByteArray> expected = {"a", "", "b", ""};
    QCOMPARE(latestRecords(path, 10), expected);
    QCOMPARE(pageByReader(path, 0, 10), expected);
    QCOMPARE(countRecords(path), 4);
}

void LogLinesTest::indexPagesMatchAWholeReading() {
    Folder folder;
    for (quint32 seed = 20; seed <= 24; ++seed) {
        const QByteArray content = mixedLog(seed, 90);
        const QString path = folder.write(content);
        const QList<QByteArray> expected = records(content);
        constexpr int kPerPage = 7;
        LogPageIndex index(kPerPage);
        QVERIFY(index.update(path));
        QCOMPARE(index.recordCount(), qint32(expected.size()));
        const qint32 pages = (index.recordCount() + kPerPage - 1) / kPerPage;
        for (qint32 page = 1; page <= pages; ++page) {
            QCOMPARE(pageByReader(path, index.pageOffset(page), kPerPage),
                     expected.mid((page - 1) * kPerPage, kPerPage));
        }
        QCOMPARE(index.pageOffset(0), -1);
        QCOMPARE(index.pageOffset(pages + 1), -1);
    }
}

void LogLinesTest::indexFollowsAGrowingFile() {
    Folder folder;
    QByteArray content = mixedLog(31, 40) + "2026-12-09 10:00:00 half";
    const QString path = folder.write(content);
    LogPageIndex index(5);
    QVERIFY(index.update(path));
    QCOMPARE(index.recordCount(), qint32(records(content).size()));
    // The unended line is finished and more follow, among them header lines.
    const QByteArray more = " of a record\r\n#Date: 2026-12-09\r\n" + mixedLog(32, 30);
    folder.write(more, QIODevice::Append);
    content += more;
    QVERIFY(index.update(path));
    const QList<QByteArray> expected = records(content);
    QCOMPARE(index.recordCount(), qint32(expected.size()));
    const qint32 pages = (index.recordCount() + 4) / 5;
    for (qint32 page = 1; page <= pages; ++page) {
        QCOMPARE(pageByReader(path, index.pageOffset(page), 5), expected.mid((page - 1) * 5, 5));
    }
    // The page reader of the history viewer finds the same page.
    QList<QStringList> rows;
    QVERIFY(readAttackLogPage(path, 1, rows));
}

void LogLinesTest::indexStartsAgainOnARewrittenFile() {
    Folder folder;
    const QString path = folder.write("a\r\nb\r\nc\r\nd\r\n");
    LogPageIndex index(2);
    QVERIFY(index.update(path));
    QCOMPARE(index.recordCount(), 4);
    // Rewritten in place, longer than before: its start is not what was indexed.
    folder.write("#h\r\n#h\r\nx\r\ny\r\nz\r\n");
    QVERIFY(index.update(path));
    QCOMPARE(index.recordCount(), 3);
    QCOMPARE(pageByReader(path, index.pageOffset(2), 2), QList<QByteArray>{"z"});
    // Shortened.
    folder.write("only\r\n");
    QVERIFY(index.update(path));
    QCOMPARE(index.recordCount(), 1);
    // Gone.
    QVERIFY(QFile::remove(path));
    QVERIFY(!index.update(path));
    QCOMPARE(index.recordCount(), 0);
    QCOMPARE(index.pageOffset(1), -1);
}

QTEST_GUILESS_MAIN(LogLinesTest)
#include "log_lines_test.moc"
