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
#include <functional>
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

// The log of a million samples, made once per run.
bool openLongLog()
{
    static const bool generated = generateLog(CWLog::sharedLogFile()) && CWLog::sharedLog();
    UserDefaults::standard().registerDefaults(
        {{QStringLiteral("CWEventLogShowBattData"), true}, {QStringLiteral("CWDefaultTemperatureUnit"), 1}});
    return generated;
}

struct FillFigures {
    qint64 firstRows = -1;    // ms until the table has rows
    qint64 filled = 0;        // ms until it has all of them
    qint64 longestStall = 0;  // ms between two turns of the event loop
};

// Runs the event loop from start() (called from within it, as a click would be) until the page
// shows every row of the log.
FillFigures runUntilFilled(const std::function<CWEventLogVC *()> &start)
{
    FillFigures figures;
    CWEventLogVC *page = nullptr;
    QElapsedTimer clock;
    qint64 lastTurn = 0;
    QEventLoop loop;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        figures.longestStall = std::max(figures.longestStall, clock.elapsed() - lastTurn);
        lastTurn = clock.elapsed();
        const int rows = page ? page->eventsToShowAC()->rowCount() : 0;
        if (figures.firstRows < 0 && rows > 0)
            figures.firstRows = clock.elapsed();
        if (rows == kSamples + kSamples / kSamplesPerEvent)
            loop.quit();
    });
    QTimer::singleShot(0, [&] { page = start(); });
    clock.start();
    probe.start();
    loop.exec();
    figures.filled = clock.elapsed();
    return figures;
}

void report(benchmark::State &state, const FillFigures &figures)
{
    state.counters["first_rows_ms"] = double(figures.firstRows);
    state.counters["filled_ms"] = double(figures.filled);
    state.counters["longest_stall_ms"] = double(figures.longestStall);
}

std::unique_ptr<CWEventLogVC> openPage()
{
    auto page = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"));
    QWidget *view = page->view();
    view->resize(1000, 640);
    view->show();
    page->activate();
    return page;
}

void BM_FirstOpening(benchmark::State &state)
{
    if (!openLongLog()) {
        state.SkipWithError("could not generate the log");
        return;
    }
    for (auto _ : state) {
        const double residentBefore = residentMemoryMB();
        std::unique_ptr<CWEventLogVC> page;
        report(state, runUntilFilled([&] {
                   page = openPage();
                   return page.get();
               }));
        state.counters["peak_MB"] = peakMemoryMB();
        state.counters["peak_over_start_MB"] = peakMemoryMB() - residentBefore;
        state.counters["resident_after_MB"] = residentMemoryMB();
    }
}
BENCHMARK(BM_FirstOpening)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Turning the readings off and on again reloads every reading between the events still shown.
void BM_ReadingsShownAgain(benchmark::State &state)
{
    if (!openLongLog()) {
        state.SkipWithError("could not generate the log");
        return;
    }
    std::unique_ptr<CWEventLogVC> page;
    runUntilFilled([&] {
        page = openPage();
        return page.get();
    });
    for (auto _ : state) {
        UserDefaults::standard().setBool(QStringLiteral("CWEventLogShowBattData"), false);
        report(state, runUntilFilled([&] {
                   UserDefaults::standard().setBool(QStringLiteral("CWEventLogShowBattData"), true);
                   return page.get();
               }));
    }
}
BENCHMARK(BM_ReadingsShownAgain)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
