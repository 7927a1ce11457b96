// The battery report of a generated log of --samples=N samples (default 10 M; the logs are kept in
// CELLWISE_BENCH_DATA): the time to read the log and write the page, and the process's peak
// resident memory, against the targets of 2 s and 100 MB for 10 M samples.
#include "BenchLogs.h"
#include "CWBatteryReportData.h"
#include "CWBatteryReportWriter.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

qint64 g_samples = 10'000'000;

// Peak resident memory of the process so far, in MiB.
double peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void BM_Report(benchmark::State &state)
{
    const QString log = BenchLogs::classifiedLog(g_samples);
    if (log.isEmpty()) {
        state.SkipWithError("no log");
        return;
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        QString error;
        const std::optional<CWBatteryReportData> data = CWBatteryReportData::read(log, 0, &error);
        if (!data) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        bytes = CWBatteryReportWriter::html(*data, QStringLiteral("bench")).size();
    }
    state.counters["samples"] = double(g_samples);
    state.counters["page_KiB"] = double(bytes) / 1024;
    state.counters["peak_RSS_MiB"] = peakResidentMiB();
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    g_samples = BenchLogs::takeSamplesOption(argc, argv, g_samples);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
