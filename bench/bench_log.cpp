// Reading and classifying large logs: the graph's windows, the Event Log page's refresh and the
// launch-time classification. The logs are generated once per run into a temporary folder;
// CELLWISE_BENCH_LOG may name an existing 3M-sample log (cellwise-genlog --classify) instead.
#include "LogGenerator.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

const QStringList kGraphColumns = {"Voltage",     "Temperature", "time", "CurrentCapacity",
                                   "MaxCapacity", "(Voltage/1000.) * (Amperage/1000.) AS Watts"};
const QStringList kEventPageColumns = {"testidx", "time", "InstantAmperage", "Voltage", "Temperature",
                                       "CurrentCapacity"};

struct BenchLog {
    std::unique_ptr<CWLog> log;
    qint64 lastTime = 0;  // Unix seconds
    qint64 lastIndex = 0; // testidx
};

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString generatedLog(const QString &name, const LogGenerator::Options &options)
{
    const QString path = scratch().path() + QLatin1Char('/') + name;
    QElapsedTimer timer;
    timer.start();
    const auto summary = LogGenerator::generate(path, options);
    if (!summary)
        std::abort();
    std::fprintf(stderr, "Generated %lld samples and %lld events in %.1f s\n", summary->samples, summary->events,
                 timer.elapsed() / 1000.0);
    return path;
}

BenchLog openLog(const QString &path)
{
    BenchLog bench{CWLog::initWithFile(path)};
    if (!bench.log)
        std::abort();
    const CWLogResult last = bench.log->battLogEntriesFrom({}, {}, {"max(time) AS last", "max(testidx) AS idx"},
                                                           CWSignificances::fromInt(7), true);
    bench.lastTime = last->value("last").value(0).toLongLong();
    bench.lastIndex = last->value("idx").value(0).toLongLong();
    return bench;
}

BenchLog &largeLog()
{
    static BenchLog bench = [] {
        QString path = qEnvironmentVariable("CELLWISE_BENCH_LOG");
        if (path.isEmpty())
            path = generatedLog(QStringLiteral("large.sqlite"), {3'000'000, 14, 0, true});
        return openLog(path);
    }();
    return bench;
}

void BM_SignifyMissing(benchmark::State &state)
{
    static BenchLog bench = openLog(generatedLog(QStringLiteral("unclassified.sqlite"), {1'000'000, 5, 0, false}));
    for (auto _ : state) {
        state.PauseTiming();
        bench.log->designifyAll();
        state.ResumeTiming();
        bench.log->signifyMissing();
    }
    state.counters["samples"] = double(bench.lastIndex);
}
BENCHMARK(BM_SignifyMissing)->Unit(benchmark::kMillisecond)->Iterations(3);

// A window of range(0) seconds ending at the log's last sample, read with mask range(1) and the
// unclassified samples, as the graph reads it.
void BM_GraphWindow(benchmark::State &state)
{
    BenchLog &bench = largeLog();
    const QDateTime end = QDateTime::fromSecsSinceEpoch(bench.lastTime);
    const QDateTime start = end.addSecs(-state.range(0));
    qsizetype rows = 0;
    for (auto _ : state) {
        const CWLogResult result = bench.log->battLogEntriesFrom(
            start, end, kGraphColumns, CWSignificances::fromInt(int(state.range(1))), true);
        rows = result ? result->value("Watts").size() : 0;
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_GraphWindow)
    ->ArgNames({"seconds", "mask"})
    ->Args({3600, 7})
    ->Args({86400, 7})
    ->Args({2592000, 6})
    ->Args({31536000, 4})
    ->Unit(benchmark::kMillisecond);

void BM_EventLogRefresh(benchmark::State &state)
{
    BenchLog &bench = largeLog();
    qsizetype rows = 0;
    for (auto _ : state) {
        const CWLogResult result = bench.log->battLogEntriesAboveIndex(quint64(bench.lastIndex - 100), kEventPageColumns);
        rows = result ? result->value("testidx").size() : 0;
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_EventLogRefresh)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
