// Cost of one monitor tick on a fake sysfs tree: read and map the battery, compare with the last
// snapshot, announce, and (for a changed reading) insert the sample.
#include "BatteryRegistry.h"
#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "Console.h"
#include "SysfsBatteryRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

QByteArray batteryUevent(int voltageMicrovolts)
{
    return "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\n"
           "POWER_SUPPLY_PRESENT=1\nPOWER_SUPPLY_TECHNOLOGY=Li-ion\nPOWER_SUPPLY_CYCLE_COUNT=312\n"
           "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=11400000\nPOWER_SUPPLY_VOLTAGE_NOW="
           + QByteArray::number(voltageMicrovolts)
           + "\nPOWER_SUPPLY_CURRENT_NOW=850000\nPOWER_SUPPLY_CHARGE_FULL_DESIGN=5000000\n"
             "POWER_SUPPLY_CHARGE_FULL=4600000\nPOWER_SUPPLY_CHARGE_NOW=3100000\nPOWER_SUPPLY_CAPACITY=67\n"
             "POWER_SUPPLY_MODEL_NAME=5B10W13930\nPOWER_SUPPLY_MANUFACTURER=SMP\nPOWER_SUPPLY_SERIAL_NUMBER=1234\n";
}

// A machine with one battery and one adapter, and a data directory of its own.
struct FakeMachine {
    QTemporaryDir dir;
    QString batteryUeventPath;

    FakeMachine()
    {
        const QString supplies = dir.path() + "/sysfs/class/power_supply";
        batteryUeventPath = supplies + "/BAT0/uevent";
        writeFile(batteryUeventPath, batteryUevent(11800000));
        writeFile(supplies + "/BAT0/type", "Battery\n");
        writeFile(supplies + "/AC/uevent", "POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=0\n");
        writeFile(supplies + "/AC/type", "Mains\n");
        qputenv("CELLWISE_SYSFS_ROOT", (dir.path() + "/sysfs").toUtf8());
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        BatteryRegistry::install(std::make_unique<SysfsBatteryRegistry>());
    }
};

void BM_UnchangedTick(benchmark::State &state)
{
    FakeMachine machine;
    CWBatteryMonitor monitor;
    monitor.tick();
    for (auto _ : state)
        monitor.tick();
    CWLog::resetSharedLog();
}
BENCHMARK(BM_UnchangedTick)->Unit(benchmark::kMicrosecond);

void BM_ChangedTick(benchmark::State &state)
{
    FakeMachine machine;
    CWBatteryMonitor monitor;
    monitor.tick();
    int voltage = 11800000;
    for (auto _ : state) {
        state.PauseTiming();
        voltage += 1000;
        writeFile(machine.batteryUeventPath, batteryUevent(voltage));
        state.ResumeTiming();
        monitor.tick();
    }
    CWLog::resetSharedLog();
}
BENCHMARK(BM_ChangedTick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Console::setSink([](const QString &) {}); // "Date: ..." and similar lines would swamp the figures
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
