// End to end: the real executable, headless, on a fake battery that is unplugged, plugged in and
// becomes full, stopped by SIGTERM.
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <csignal>

namespace {

class HeadlessRun : public ::testing::Test {
protected:
    void setBattery(const char *status, int chargeMicroAh, bool adapterOnline)
    {
        writeTextFile(sysfs.path(), u"class/power_supply/BAT0/uevent"_s,
                      u"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=%1\nPOWER_SUPPLY_PRESENT=1\n"
                      "POWER_SUPPLY_VOLTAGE_NOW=12000000\nPOWER_SUPPLY_CURRENT_NOW=1000000\n"
                      "POWER_SUPPLY_CHARGE_FULL=4000000\nPOWER_SUPPLY_CHARGE_NOW=%2\n"_s.arg(QLatin1String(status))
                          .arg(chargeMicroAh));
        writeTextFile(sysfs.path(), u"class/power_supply/AC/uevent"_s,
                      u"POWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=%1\n"_s.arg(adapterOnline ? 1 : 0));
    }

    // A column of the log, read through a log object of our own; empty until Cellwise created it.
    QStringList logged(const char *table, const char *column) const
    {
        const QString path = home.supportPath() + u"/battLog3.sqlite"_s;
        std::unique_ptr<CWLog> log = QFile::exists(path) ? CWLog::initWithFile(path) : nullptr;
        const CWLogResult rows = !log ? std::nullopt
                                 : qstrcmp(table, "eventlog") == 0
                                     ? log->eventLogEntriesAboveIndex(0)
                                     : log->battLogEntriesAboveIndex(0, {QLatin1String(column)});
        return rows ? rows->value(QLatin1String(column)) : QStringList();
    }
    // The events logged once there are `count` of them (the monitor ticks once a second).
    QStringList eventsOnceThereAre(qsizetype count) const
    {
        static_cast<void>(QTest::qWaitFor([&] { return logged("eventlog", "eventtype").size() >= count; }, 10000));
        return logged("eventlog", "eventtype");
    }

    QTemporaryDir sysfs;
    ScopedDataHome home;
    QProcess process;
};

} // namespace

TEST_F(HeadlessRun, LogsStateChangesAndStopsCleanlyOnSigterm)
{
    setBattery("Discharging", 3000000, false);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"CELLWISE_SYSFS_ROOT"_s, sysfs.path());
    environment.insert(u"XDG_DATA_HOME"_s, home.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CELLWISE_BINARY), {u"--headless"_s});
    ASSERT_TRUE(process.waitForStarted());

    const QStringList first = eventsOnceThereAre(5);
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(first.first(), u"1"_s);
    EXPECT_EQ(QSet<QString>(first.begin() + 1, first.end()), (QSet<QString>{u"4"_s, u"5"_s, u"8"_s, u"10"_s}));
    setBattery("Charging", 3000000, true);
    const QStringList plugged = eventsOnceThereAre(7).mid(5);
    EXPECT_EQ(QSet<QString>(plugged.begin(), plugged.end()), (QSet<QString>{u"3"_s, u"9"_s}));
    setBattery("Full", 4000000, true);
    const QStringList full = eventsOnceThereAre(9).mid(7);
    EXPECT_EQ(QSet<QString>(full.begin(), full.end()), (QSet<QString>{u"7"_s, u"10"_s}));

    ::kill(process.processId(), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(logged("eventlog", "eventtype").last(), u"2"_s) << "stop marker written";
    EXPECT_EQ(logged("battlog", "ExternalConnected"), QStringList({u"0"_s, u"1"_s, u"1"_s}));
    EXPECT_EQ(logged("battlog", "FullyCharged"), QStringList({u"0"_s, u"0"_s, u"1"_s}));
}
