// The console's log readers on a large attack log, generated at start in a
// temporary folder: 1 GiB unless OSTRUM_BENCH_LOG_MIB names another size.
//   build/bench/log_reader_bench [--benchmark_filter=...]
#include "console/shell/attack_log_reader.h"
#include "console/shell/log_lines.h"
#include "console/shell/log_records.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 kDefaultLogMib = 1024;

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
        path = dir.path() + QStringLiteral("/attack2026-12-06.log");
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

} // namespace

BENCHMARK_MAIN();
