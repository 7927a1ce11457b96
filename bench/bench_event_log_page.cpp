// The Event Log page's first opening on a long history (a million samples): time until the table
// is first drawn, time until every row is in, the longest stall of the event loop meanwhile, and
// the process's peak memory.
#include "CWEventLogVC.h"
#include "CWLog.h"
#include "Console.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

constexpr qint64 kSamples = 1'000'000;
constexpr qint64 kSamplesPerEvent = 250;
constexpr qint64 kFirstTime = 1'600'000'000; // seconds since 1970

// Fills a new log with samples ten seconds apart and a plug event every kSamplesPerEvent samples.
bool generateLog(const QString &path)
{
    if (!CWLog::initWithFile(path))
        return false;
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *sample = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO battlog (time, significance, CurrentCapacity, MaxCapacity, DesignCapacity, "
                       "Voltage, Amperage, InstantAmperage, Temperature, CycleCount, ExternalConnected, IsCharging, "
                       "FullyCharged, BatteryInstalled, CellVoltage, BatterySerialNumber, DeviceName) "
                       "VALUES (?, 1, ?, 5200, 5800, ?, ?, ?, ?, 312, ?, ?, 0, 1, '4012,4011,4013', 'W0123456789', 'bq20z451')",
                       -1, &sample, nullptr);
    sqlite3_stmt *event = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO eventlog (time, eventtype) VALUES (?, ?)", -1, &event, nullptr);
    for (qint64 i = 0; i < kSamples; ++i) {
        const qint64 time = kFirstTime + 10 * i;
        const bool plugged = (i / kSamplesPerEvent) % 2 == 0;
        const int amperage = plugged ? 1500 - int(i % 700) : -900 - int(i % 1300);
        sqlite3_bind_int64(sample, 1, time);
        sqlite3_bind_int(sample, 2, 2000 + int(i % 3000));
        sqlite3_bind_int(sample, 3, 11000 + int(i % 1600));
        sqlite3_bind_int(sample, 4, amperage);
        sqlite3_bind_int(sample, 5, amperage);
        sqlite3_bind_int(sample, 6, 2950 + int(i % 200));
        sqlite3_bind_int(sample, 7, plugged);
        sqlite3_bind_int(sample, 8, plugged);
        sqlite3_step(sample);
        sqlite3_reset(sample);
        if (i % kSamplesPerEvent == 0) {
            sqlite3_bind_int64(event, 1, time);
            sqlite3_bind_int(event, 2, plugged ? 3 : 4);
            sqlite3_step(event);
            sqlite3_reset(event);
        }
    }
    sqlite3_finalize(sample);
    sqlite3_finalize(event);
    const bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return committed;
}

double peakMemoryMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

double residentMemoryMB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0.0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void BM_FirstOpening(benchmark::State &state)
{
    CWLog::resetSharedLog();
    if (!generateLog(CWLog::sharedLogFile()) || !CWLog::sharedLog()) {
        state.SkipWithError("could not generate the log");
        return;
    }
    UserDefaults::standard().registerDefaults(
        {{QStringLiteral("CWEventLogShowBattData"), true}, {QStringLiteral("CWDefaultTemperatureUnit"), 1}});

    for (auto _ : state) {
        const double residentBefore = residentMemoryMB();
        std::unique_ptr<CWEventLogVC> page;
        QElapsedTimer clock;
        qint64 firstDrawn = -1; // ms
        qint64 longestStall = 0; // ms between two turns of the event loop
        qint64 lastTurn = 0;
        QEventLoop loop;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            longestStall = std::max(longestStall, clock.elapsed() - lastTurn);
            lastTurn = clock.elapsed();
            if (!page)
                return;
            if (firstDrawn < 0 && page->eventsToShowAC()->rowCount() > 0)
                firstDrawn = clock.elapsed();
            if (page->highestBattIDRecorded() == quint64(kSamples))
                loop.quit();
        });
        // The page opens from within the event loop, as a click on its row would open it.
        QTimer::singleShot(0, [&] {
            page = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"));
            QWidget *view = page->view();
            view->resize(1000, 640);
            view->show();
            page->activate();
        });
        clock.start();
        probe.start();
        loop.exec();
        const qint64 filled = clock.elapsed();
        probe.stop();

        state.counters["rows"] = page->eventsToShowAC()->rowCount();
        state.counters["first_drawn_ms"] = double(firstDrawn);
        state.counters["filled_ms"] = double(filled);
        state.counters["longest_stall_ms"] = double(longestStall);
        state.counters["peak_MB"] = peakMemoryMB();
        state.counters["peak_over_start_MB"] = peakMemoryMB() - residentBefore;
        state.counters["resident_after_MB"] = residentMemoryMB();
        page->deactivate();
    }
    CWLog::resetSharedLog();
}
BENCHMARK(BM_FirstOpening)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    // Settings and data stay in a folder of the run's own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Console::setSink([](const QString &) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
