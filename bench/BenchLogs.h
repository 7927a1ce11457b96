#pragma once

// Large logs for the log benchmarks: generated once per size into a cache folder and reused, since
// ten million samples take minutes to write. The folder is CELLWISE_BENCH_DATA, by default
// ~/.cache/cellwise-bench. A benchmark's size comes from its --samples=N argument.

#include "LogGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace BenchLogs {

// Takes --samples=N out of the arguments (Google Benchmark refuses flags it does not know).
inline qint64 takeSamplesOption(int &argc, char **argv, qint64 defaultSamples)
{
    qint64 samples = defaultSamples;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--samples=", 10) == 0)
            samples = std::max<qint64>(1, std::atoll(argv[i] + 10));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return samples;
}

inline QString cacheFolder()
{
    const QString chosen = qEnvironmentVariable("CELLWISE_BENCH_DATA");
    return chosen.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache/cellwise-bench") : chosen;
}

// A log of that many samples over about 14 months per ten million (at least a month), classified
// as a launch would leave it (the last run's samples unclassified), ending at a fixed time so that
// every run measures the same log. Empty when it could not be made.
inline QString classifiedLog(qint64 samples)
{
    const QString path = cacheFolder() + QStringLiteral("/log-%1.sqlite").arg(samples);
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(cacheFolder());
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    QElapsedTimer timer;
    timer.start();
    const double months = std::max(1.0, 14.0 * double(samples) / 1e7);
    const auto summary = LogGenerator::generate(partial, {samples, months, 1'700'000'000, true});
    if (!summary || !QFile::rename(partial, path))
        return {};
    std::fprintf(stderr, "Generated %lld samples and %lld events into %s in %.1f s\n", summary->samples,
                 summary->events, qPrintable(path), timer.elapsed() / 1000.0);
    return path;
}

} // namespace BenchLogs
