// The console's log readers on a large attack log, generated at start in a
// temporary program folder: 1 GiB unless OSTRUM_BENCH_LOG_MIB names another
// size. The history viewer runs on the offscreen platform.
//   build/bench/log_reader_bench [--benchmark_filter=...]
#include "console/shell/attack_log_reader.h"
#include "console/shell/historywin.h"
#include "console/shell/log_lines.h"
#include "console/shell/log_records.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"

#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 kDefaultLogMib = 1024;
const QString kFileName = QStringLiteral("attack2026-12-06.log");

QByteArray record(qint64 n) {
    const QByteArray id = QByteArray::number(n);
    return "2026-12-06 10:" + QByteArray::number(n / 60 % 60).rightJustified(2, '0') + ":" +
           QByteArray::number(n % 60).rightJustified(2, '0') + " 192.168." +
           QByteArray::number(n / 250 % 250) + "." + QByteArray::number(n % 250) +
           " 10.0.0.1 80 www.example.com GET QueryString AR:" + QByteArray::number(1000 + n % 97) +
           " block /index.php?id=" + id + "%20union%20select%201,2,3--\r\n";
}

// The generated log, made once per run; the service's header opens it, and
// each day's header appears again now and then as after a restart.
class GeneratedLog {
public:
    GeneratedLog() {
        const char* mib = std::getenv("OSTRUM_BENCH_LOG_MIB");
        const qint64 bytes = (mib != nullptr ? std::atoll(mib) : kDefaultLogMib) * 1024 * 1024;
        QDir(dir.path()).mkpath(QStringLiteral("log"));
        console::setAppFolder(dir.path());
        path = dir.path() + QStringLiteral("/log/") + kFileName;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::exit(1);
        }
        QByteArray block;
        qint64 n = 0;
        while (file.size() < bytes) {
            block = "#Ostrum attack log\r\n#Version: 1.0\r\n\r\n";
            while (block.size() < 4 * 1024 * 1024) {
                block += record(++n);
            }
            file.write(block);
        }
        std::fprintf(stderr, "generated %lld MiB, %lld records: %s\n",
                     static_cast<long long>(file.size() >> 20), static_cast<long long>(n),
                     qPrintable(path));
    }

    QTemporaryDir dir;
    QString path;
};

const QString& logPath() {
    static GeneratedLog log;
    return log.path;
}

// The status window's lists: the last ten records.
void BM_LatestTenRecords(benchmark::State& state) {
    const QString& path = logPath();
    for (auto _ : state) {
        benchmark::DoNotOptimize(console::latestRecordLines(path, 10));
    }
}
BENCHMARK(BM_LatestTenRecords)->Unit(benchmark::kMicrosecond);

// The history viewer's first look at a file: one scan of all of it.
void BM_IndexWholeFile(benchmark::State& state) {
    const QString& path = logPath();
    for (auto _ : state) {
        console::LogPageIndex index(console::kRecordsPerPage);
        benchmark::DoNotOptimize(index.update(path));
        state.counters["records"] = index.recordCount();
    }
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
}
BENCHMARK(BM_IndexWholeFile)->Unit(benchmark::kMillisecond);

// Each later choice of a page: the index looks at what was appended since.
void BM_IndexUpToDate(benchmark::State& state) {
    const QString& path = logPath();
    console::LogPageIndex index(console::kRecordsPerPage);
    (void)index.update(path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.update(path));
    }
}
BENCHMARK(BM_IndexUpToDate)->Unit(benchmark::kMicrosecond);

// One page of 200 records, at the start and at the end of the file.
void BM_ReadPage(benchmark::State& state) {
    const QString& path = logPath();
    console::LogPageIndex index(console::kRecordsPerPage);
    (void)index.update(path);
    const qint32 pages = console::pageCount(index.recordCount());
    const qint64 offset = index.pageOffset(state.range(0) == 0 ? 1 : pages);
    QList<QStringList> rows;
    for (auto _ : state) {
        benchmark::DoNotOptimize(console::readAttackLogRecords(path, offset, rows));
    }
    state.counters["rows"] = double(rows.size());
}
BENCHMARK(BM_ReadPage)->Arg(0)->Arg(1)->ArgNames({"last"})->Unit(benchmark::kMillisecond);

// The history viewer's first choice of the file: index, page list, page 1.
void BM_HistoryChooseFile(benchmark::State& state) {
    (void)logPath();
    for (auto _ : state) {
        state.PauseTiming();
        console::unload<console::historywin>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        console::historywin& history = console::window<console::historywin>();
        history.logfilename_now = kFileName;
        state.ResumeTiming();
        history.showlogs();
    }
    state.counters["pages"] = console::window<console::historywin>()
                                  .findChild<QComboBox*>(QStringLiteral("pageList"))
                                  ->count();
}
BENCHMARK(BM_HistoryChooseFile)->Unit(benchmark::kMillisecond);

// The same file chosen again after another one: its index is kept.
void BM_HistoryChooseFileAgain(benchmark::State& state) {
    (void)logPath();
    console::historywin& history = console::window<console::historywin>();
    for (auto _ : state) {
        history.logfilename_now = QStringLiteral("attack2026-12-07.log");
        history.showlogs();
        history.logfilename_now = kFileName;
        history.showlogs();
    }
}
BENCHMARK(BM_HistoryChooseFileAgain)->Unit(benchmark::kMillisecond);

// The history viewer's choice of its last page, once the file is chosen.
void BM_HistoryChooseLastPage(benchmark::State& state) {
    (void)logPath();
    console::historywin& history = console::window<console::historywin>();
    history.logfilename_now = kFileName;
    history.showlogs();
    auto* pages = history.findChild<QComboBox*>(QStringLiteral("pageList"));
    for (auto _ : state) {
        pages->setCurrentIndex(0);
        pages->setCurrentIndex(pages->count() - 1);
    }
}
BENCHMARK(BM_HistoryChooseLastPage)->Unit(benchmark::kMillisecond);

// Opening the page list of a large log.
void BM_HistoryOpenPageList(benchmark::State& state) {
    (void)logPath();
    console::historywin& history = console::window<console::historywin>();
    history.logfilename_now = kFileName;
    history.showlogs();
    history.show();
    auto* pages = history.findChild<QComboBox*>(QStringLiteral("pageList"));
    for (auto _ : state) {
        pages->showPopup();
        pages->hidePopup();
    }
}
BENCHMARK(BM_HistoryOpenPageList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
