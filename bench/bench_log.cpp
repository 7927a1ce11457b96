// Reading and classifying large logs: the start after an unclean end, the check of the whole file
// for damage, the graph's window bounds and windows, the summary of times behind the bounds, and
// the launch-time classification.
// --samples=N chooses the log (1000000 by default), generated once into the cache folder
// (BenchLogs.h). Work that changes the log runs on a scratch copy.
#include "BenchLogs.h"
#include "CWLogTimeSpans.h"
#include "CpuTime.h"

#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <random>

namespace {

qint64 gSamples = 1'000'000;

const QStringList kGraphColumns = {"Voltage",         "Temperature", "time",
                                   "CurrentCapacity", "MaxCapacity", "(Voltage/1000.) * (Amperage/1000.) AS Watts"};

struct BenchLog {
    QString path;
    std::unique_ptr<CWLog> log;
    qint64 firstTime = 0; // Unix seconds
    qint64 lastTime = 0;
};

BenchLog &cachedLog()
{
    static BenchLog bench = [] {
        BenchLog opened;
        opened.path = BenchLogs::classifiedLog(gSamples);
        opened.log = CWLog::initWithFile(opened.path);
        if (!opened.log)
            std::abort();
        const auto range = opened.log->sampleTimeRange();
        opened.firstTime = range->first;
        opened.lastTime = range->second;
        return opened;
    }();
    return bench;
}

// A copy of the cached log for work that changes it; removed when it ends.
class ScratchCopy {
public:
    ScratchCopy()
        : path(cachedLog().path + QStringLiteral(".scratch"))
    {
        QFile::remove(path);
        QFile::copy(cachedLog().path, path);
    }
    ~ScratchCopy()
    {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
    }
    const QString path;
};

double peakMemoryMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void execute(const QString &path, const char *sql)
{
    sqlite3 *raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    const Sqlite::Connection db(raw);
    sqlite3_exec(raw, sql, nullptr, nullptr, nullptr);
}

// Opening the log and writing the start marker after a run that ended without its stop marker:
// the recovery looks up the last marker and the last sample.
void BM_StartAfterUncleanEnd(benchmark::State &state)
{
    const ScratchCopy copy;
    std::vector<std::unique_ptr<CWLog>> opened; // closed after timing: closing checkpoints and syncs
    for (auto _ : state) {
        state.PauseTiming();
        execute(copy.path, "INSERT INTO eventlog (eventtype, time) SELECT 1, max(time) - 60 FROM battlog");
        state.ResumeTiming();
        opened.push_back(CWLog::initWithFile(copy.path));
        opened.back()->logMonitoringStarted();
    }
}
BENCHMARK(BM_StartAfterUncleanEnd)->Unit(benchmark::kMillisecond)->Iterations(20);

// Reading the whole file for damage, as the upkeep after launch does on its worker thread; read
// only, so it may run on a shared log. CPU seconds besides the wall time.
void BM_WholeFileCheck(benchmark::State &state)
{
    const QString path = BenchLogs::classifiedLog(gSamples);
    std::atomic<bool> cancelled = false;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        if (!CWLog::checkWholeFile(path, cancelled).isNull())
            state.SkipWithError("the log is damaged");
        cpu = cpuSeconds() - cpuBefore;
    }
    state.counters["cpu_s"] = cpu;
}
BENCHMARK(BM_WholeFileCheck)->Unit(benchmark::kMillisecond)->Iterations(1);

// Both bounds of a window at random places in the log, as the graph's query finds them.
void BM_WindowBounds(benchmark::State &state)
{
    const BenchLog &bench = cachedLog();
    sqlite3 *raw = nullptr;
    sqlite3_open(bench.path.toUtf8().constData(), &raw);
    const Sqlite::Connection db(raw);
    CWLogTimeSpans spans(raw);
    spans.caughtUp();
    std::mt19937_64 random(1);
    std::uniform_int_distribution<qint64> times(bench.firstTime, bench.lastTime);
    bool ok = false;
    for (auto _ : state) {
        const qint64 start = times(random);
        benchmark::DoNotOptimize(spans.firstAtOrAfter(start, ok));
        benchmark::DoNotOptimize(spans.lastAtOrBefore(start + 3600, ok));
    }
}
BENCHMARK(BM_WindowBounds)->Unit(benchmark::kMicrosecond);

// Summarising every sample's time from scratch, as the first opening of a log written by an
// older version does (in steps after launch).
void BM_TimeSummaryFromScratch(benchmark::State &state)
{
    const ScratchCopy copy;
    for (auto _ : state) {
        state.PauseTiming();
        execute(copy.path, "DROP TABLE IF EXISTS battlog_timespans");
        sqlite3 *raw = nullptr;
        sqlite3_open(copy.path.toUtf8().constData(), &raw);
        const Sqlite::Connection db(raw);
        state.ResumeTiming();
        CWLogTimeSpans(raw).caughtUp();
    }
}
BENCHMARK(BM_TimeSummaryFromScratch)->Unit(benchmark::kMillisecond)->Iterations(1);

// Classifying every sample in steps, as a re-index does; CPU seconds per million samples and the
// growth of the process's peak memory.
void BM_Classification(benchmark::State &state)
{
    const ScratchCopy copy;
    const auto log = CWLog::initWithFile(copy.path);
    const double peakBefore = peakMemoryMB();
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        CWLog::SignifyPass pass = log->beginSignify(true);
        while (!pass.isDone())
            log->signifyStep(pass, 20000);
        cpu = cpuSeconds() - cpuBefore;
    }
    state.counters["cpu_s_per_million"] = cpu / (double(gSamples) / 1e6);
    state.counters["peak_growth_MB"] = peakMemoryMB() - peakBefore;
}
BENCHMARK(BM_Classification)->Unit(benchmark::kMillisecond)->Iterations(1);

// A window of range(0) seconds ending at the log's last sample, read with mask range(1) and the
// unclassified samples, as the graph reads it.
void BM_GraphWindow(benchmark::State &state)
{
    BenchLog &bench = cachedLog();
    const QDateTime end = QDateTime::fromSecsSinceEpoch(bench.lastTime);
    const QDateTime start = end.addSecs(-state.range(0));
    qsizetype rows = 0;
    for (auto _ : state) {
        const CWLogResult result = bench.log->battLogEntriesFrom(start, end, kGraphColumns,
                                                                 CWSignificances::fromInt(int(state.range(1))), true);
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

} // namespace

int main(int argc, char **argv)
{
    gSamples = BenchLogs::takeSamplesOption(argc, argv, gSamples);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
