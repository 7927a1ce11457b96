// The Event Log page on a long history (a million samples from the log generator): time until the
// table has its first rows, time until every row is in, the longest stall of the event loop
// meanwhile, and for the first opening the process's peak memory.
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWEventLogVC.h"
#include "CWLog.h"
#include "Console.h"
#include "LogGenerator.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <functional>
#include <sys/resource.h>

namespace {

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

// The shared log with a million samples over 14 months, made once per run; nullopt when that failed.
const std::optional<LogGenerator::Summary> &longLog()
{
    static const std::optional<LogGenerator::Summary> summary = [] {
        const auto written = LogGenerator::generate(CWLog::sharedLogFile(), {1'000'000, 14, 0, false});
        return written && CWLog::sharedLog() ? written : std::nullopt;
    }();
    CWAppDelegate::registerDefaults();
    return summary;
}

// Every sample and every event of the long log is one row.
qint64 allRows()
{
    return longLog()->samples + longLog()->events;
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
        if (rows == allRows())
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
    auto page = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"), *CWBatteryMonitor::sharedMonitor(),
                                               CWLog::sharedLog());
    QWidget *view = page->view();
    view->resize(1000, 640);
    view->show();
    page->activate();
    return page;
}

void BM_FirstOpening(benchmark::State &state)
{
    if (!longLog()) {
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
        state.counters["rows"] = double(allRows());
    }
}
BENCHMARK(BM_FirstOpening)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Turning the readings off and on again reloads every reading between the events still shown.
void BM_ReadingsShownAgain(benchmark::State &state)
{
    if (!longLog()) {
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
