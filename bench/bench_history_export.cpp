// Exporting a 1 M-sample log as CSV: rows per second and the process's memory at the start, a tenth
// of the way and at the end, which must stay flat however long the log is. The CSV goes into a
// device that only counts bytes.
#include "CWHistoryExport.h"
#include "LogGenerator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr qint64 kSamples = 1'000'000;

class CountingDevice : public QIODevice {
public:
    CountingDevice() { open(QIODevice::WriteOnly); }
    qint64 bytes = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        bytes += length;
        return length;
    }
};

// Resident memory now, in KiB (VmRSS of /proc/self/status).
qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

const QString &millionSampleLog()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.path() + QStringLiteral("/battLog3.sqlite");
        LogGenerator::Options options;
        options.samples = kSamples;
        options.months = 5;
        if (!LogGenerator::generate(file, options))
            std::abort();
        return file;
    }();
    return path;
}

void BM_ExportMillionSamples(benchmark::State &state)
{
    const std::unique_ptr<CWLog> log = CWLog::initWithFile(millionSampleLog());
    for (auto _ : state) {
        CountingDevice output;
        CWHistoryExport exporter(*log, output, CWHistoryExport::Table::Samples);
        const qint64 before = residentKiB();
        qint64 atTenth = 0;
        QElapsedTimer timer;
        timer.start();
        qint64 longestStep = 0; // ms
        CWHistoryExport::Step step = CWHistoryExport::Step::More;
        while (step == CWHistoryExport::Step::More) {
            const qint64 stepStart = timer.elapsed();
            step = exporter.writeStep();
            longestStep = std::max(longestStep, timer.elapsed() - stepStart);
            if (atTenth == 0 && exporter.rowsWritten() >= kSamples / 10)
                atTenth = residentKiB();
        }
        const double seconds = timer.elapsed() / 1000.0;
        const qint64 after = residentKiB();
        std::fprintf(stderr,
                     "Exported %lld rows (%.0f MB of CSV) in %.1f s: %.0f rows/s, longest step %lld ms; "
                     "resident memory %lld KiB before, %lld KiB at a tenth, %lld KiB at the end\n",
                     exporter.rowsWritten(), output.bytes / 1e6, seconds, exporter.rowsWritten() / seconds, longestStep,
                     before, atTenth, after);
        state.counters["rows_per_s"] = exporter.rowsWritten() / seconds;
        state.counters["rss_growth_after_tenth_KiB"] = double(after - atTenth);
    }
}
BENCHMARK(BM_ExportMillionSamples)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
