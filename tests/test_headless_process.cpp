// The real executable, headless, on a fake battery that is unplugged, plugged in and becomes full.
#include "CWLog.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <functional>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class HeadlessRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        setBattery("Discharging", 3000000);
        setAdapter(false);
    }
    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    void setBattery(const char *status, int chargeMicroAh)
    {
        writeTextFile(sysfs.path(), "class/power_supply/BAT0/uevent",
                      QStringLiteral("POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=%1\n"
                                     "POWER_SUPPLY_PRESENT=1\nPOWER_SUPPLY_VOLTAGE_NOW=12000000\n"
                                     "POWER_SUPPLY_CURRENT_NOW=1000000\nPOWER_SUPPLY_CHARGE_FULL=4000000\n"
                                     "POWER_SUPPLY_CHARGE_FULL_DESIGN=5000000\nPOWER_SUPPLY_CHARGE_NOW=%2\n"
                                     "POWER_SUPPLY_SERIAL_NUMBER=X1\n")
                          .arg(QLatin1String(status))
                          .arg(chargeMicroAh));
    }
    void setAdapter(bool online)
    {
        writeTextFile(sysfs.path(), "class/power_supply/AC/uevent",
                      QStringLiteral("POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=%1\n").arg(online ? 1 : 0));
    }

    void start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CELLWISE_SYSFS_ROOT", sysfs.path());
        environment.insert("XDG_DATA_HOME", home.path());
        process.setProcessEnvironment(environment);
        process.start(CELLWISE_BINARY, {"--headless"});
        ASSERT_TRUE(process.waitForStarted());
    }

    CWLogResult readLog(const std::function<CWLogResult(CWLog &)> &query) const
    {
        // Opening a missing file would create it: leave that to Cellwise.
        const QString path = home.supportPath() + "/battLog3.sqlite";
        std::unique_ptr<CWLog> log = QFile::exists(path) ? CWLog::initWithFile(path) : nullptr;
        return log ? query(*log) : std::nullopt;
    }
    // Event types logged so far, read through a log object of our own.
    QStringList events() const
    {
        const CWLogResult rows = readLog([](CWLog &log) { return log.eventLogEntriesAboveIndex(0); });
        return rows ? rows->value("eventtype") : QStringList();
    }
    QStringList samples() const
    {
        const CWLogResult rows = readLog([](CWLog &log) { return log.battLogEntriesAboveIndex(0, {"testidx"}); });
        return rows ? rows->value("testidx") : QStringList();
    }
    // Polls until `read` yields `count` rows (the monitor ticks once a second).
    QStringList waitFor(QStringList (HeadlessRun::*read)() const, qsizetype count) const
    {
        QDeadlineTimer deadline(10000);
        QStringList rows = (this->*read)();
        while (rows.size() < count && !deadline.hasExpired()) {
            QThread::msleep(100);
            rows = (this->*read)();
        }
        return rows;
    }
    QStringList waitForEvents(qsizetype count) const { return waitFor(&HeadlessRun::events, count); }
    QStringList waitForSamples(qsizetype count) const { return waitFor(&HeadlessRun::samples, count); }

    QTemporaryDir sysfs;
    ScopedDataHome home;
    QProcess process;
};

} // namespace

TEST_F(HeadlessRun, LogsStateChangesAndStopsCleanlyOnSigterm)
{
    start();
    const QStringList first = waitForEvents(5);
    ASSERT_EQ(first.size(), 5);
    EXPECT_EQ(first.first(), "1");
    EXPECT_EQ(QSet<QString>(first.begin() + 1, first.end()), (QSet<QString>{"4", "5", "8", "10"}));

    setAdapter(true);
    setBattery("Charging", 3000000);
    const QStringList plugged = waitForEvents(7).mid(5);
    EXPECT_EQ(QSet<QString>(plugged.begin(), plugged.end()), (QSet<QString>{"3", "9"}));

    setBattery("Full", 4000000);
    const QStringList full = waitForEvents(9).mid(7);
    EXPECT_EQ(QSet<QString>(full.begin(), full.end()), (QSet<QString>{"7", "10"}));

    ::kill(process.processId(), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(events().last(), "2") << "stop marker written";

    const CWLogResult states = readLog([](CWLog &log) { return log.battLogEntriesAboveIndex(0, {"ExternalConnected", "FullyCharged"}); });
    ASSERT_TRUE(states);
    EXPECT_EQ(states->value("ExternalConnected"), (QStringList{"0", "1", "1"}));
    EXPECT_EQ(states->value("FullyCharged"), (QStringList{"0", "0", "1"}));
}

TEST_F(HeadlessRun, RunKilledWithoutWarningIsClosedAtTheNextStart)
{
    start();
    ASSERT_EQ(waitForEvents(5).size(), 5);
    // A sample in a later second than the start marker: the recovered stop goes one second after it.
    QThread::msleep(1100);
    setBattery("Discharging", 2900000);
    ASSERT_EQ(waitForSamples(2).size(), 2);
    process.kill();
    process.waitForFinished();
    QThread::msleep(1100); // the next run's start marker must come later than the last sample

    start();
    const QStringList logged = waitForEvents(11);
    ASSERT_GE(logged.size(), 7);
    EXPECT_EQ(logged.mid(5, 2), (QStringList{"2", "1"})) << "the recovered stop comes before the new start";
    ::kill(process.processId(), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(events().last(), "2");
}
