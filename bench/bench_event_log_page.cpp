// The Event Log page on a long history (--samples=N, 1000000 by default, from the cache folder of
// BenchLogs.h): time until the table shows its first rows, time to show a screenful after a jump
// of the scroll bar, time until a new sample shows on top, and the memory the page holds.
#include "BenchLogs.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWEventLogVC.h"
#include "NotificationCenter.h"
#include "ScratchHome.h"
#include "SimulatedBattery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <random>

namespace {

qint64 gSamples = 1'000'000;

double residentMemoryMB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0.0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::unique_ptr<CWEventLogVC> openPage(CWLog *log)
{
    auto page = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"), *CWBatteryMonitor::sharedMonitor(), log);
    QWidget *view = page->view();
    view->resize(1000, 640);
    view->show();
    page->activate();
    return page;
}

void showScreenful(const CWEventLogVC &page)
{
    // What painting asks for: the texts of the rows in view.
    const QAbstractItemModel *shown = page.eventsTable()->model();
    for (int row = 0; row < shown->rowCount(); ++row) {
        for (int column = 0; column < shown->columnCount(); ++column)
            benchmark::DoNotOptimize(shown->data(shown->index(row, column)));
    }
}

void BM_EventLogPage(benchmark::State &state)
{
    const QString path = BenchLogs::classifiedLog(gSamples);
    const auto log = CWLog::initWithFile(path);
    if (!log) {
        state.SkipWithError("no log");
        return;
    }
    log->summariseTimes(std::numeric_limits<qint64>::max()); // as the launch's upkeep leaves it
    for (auto _ : state) {
        const double residentBefore = residentMemoryMB();
        QElapsedTimer clock;
        clock.start();
        const auto page = openPage(log.get());
        state.counters["page_loaded_ms"] = double(clock.nsecsElapsed()) / 1e6;
        showScreenful(*page);
        state.counters["first_rows_ms"] = double(clock.nsecsElapsed()) / 1e6;

        auto *bar = page->view()->findChild<QScrollBar *>(QStringLiteral("eventsScrollBar"));
        std::mt19937 random(1);
        std::uniform_int_distribution<int> positions(bar->minimum(), bar->maximum());
        double slowest = 0;
        double total = 0;
        constexpr int kJumps = 20;
        for (int jump = 0; jump < kJumps; ++jump) {
            clock.restart();
            bar->setValue(positions(random));
            showScreenful(*page);
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            slowest = std::max(slowest, ms);
            total += ms;
        }
        state.counters["jump_ms_mean"] = total / kJumps;
        state.counters["jump_ms_max"] = slowest;

        log->logBattDict(SimulatedBattery::snapshotAt(0));
        clock.restart();
        NotificationCenter::defaultCenter().post(kCWBatteryUpdatedNotification, CWBatteryMonitor::sharedMonitor());
        showScreenful(*page);
        state.counters["new_row_ms"] = double(clock.nsecsElapsed()) / 1e6;
        state.counters["rows"] = page->eventsToShowAC()->rowCount();
        state.counters["resident_growth_MB"] = residentMemoryMB() - residentBefore;
    }
    // The sample written above goes again, so that every run reads the same log.
    sqlite3 *raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    const Sqlite::Connection db(raw);
    sqlite3_exec(raw, "DELETE FROM battlog WHERE testidx = (SELECT max(testidx) FROM battlog)", nullptr, nullptr,
                 nullptr);
}
BENCHMARK(BM_EventLogPage)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    gSamples = BenchLogs::takeSamplesOption(argc, argv, gSamples);
    const ScratchHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Console::setSink([](const QString &) {});
    CWAppDelegate::registerDefaults();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
