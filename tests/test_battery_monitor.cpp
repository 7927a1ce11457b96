// The monitor's tick: what it derives from a snapshot, what it logs, whom it tells.
#include "CWBatteryMonitor.h"
#include "TestSupport.h"

#include <QDir>

namespace {

QVariantMap pluggedIn(const QVariantMap &changes = {})
{
    // clang-format off
    return withChanges({{u"BatteryInstalled"_s, true}, {u"ExternalConnected"_s, true}, {u"IsCharging"_s, true},
                        {u"FullyCharged"_s, false}, {u"Voltage"_s, qint64(12000)}, {u"InstantAmperage"_s, qint64(1500)},
                        {u"CurrentCapacity"_s, qint64(3000)}, {u"MaxCapacity"_s, qint64(6000)},
                        {u"Temperature"_s, qint64(3031)}, {u"BatterySerialNumber"_s, u"W01234"_s}},
                       changes);
    // clang-format on
}

class MonitorTest : public ::testing::Test {
protected:
    // The events logged so far, as "code" or "code:data".
    QStringList events() const
    {
        const CWLogResult rows = CWLog::sharedLog()->eventLogEntriesAboveIndex(0);
        QStringList events;
        for (qsizetype i = 0; rows && i < rows->value(u"eventtype"_s).size(); ++i) {
            const QString data = rows->value(u"data"_s).at(i);
            events << rows->value(u"eventtype"_s).at(i) + (data.isNull() ? QString() : u":"_s + data);
        }
        return events;
    }
    qsizetype samples() const
    {
        const CWLogResult rows = CWLog::sharedLog()->battLogEntriesAboveIndex(0, {u"testidx"_s});
        return rows ? rows->value(u"testidx"_s).size() : 0;
    }
    static QSet<QString> asSet(const QStringList &list) { return {list.begin(), list.end()}; }

    ScopedDataHome home;
    ScopedFakeBattery battery{pluggedIn()};
    CWBatteryMonitor monitor;
};

} // namespace

TEST(BatteryMonitorClassOperations, MinutesAsTextAndTheBatterysUniqueId)
{
    const std::pair<qint64, const char *> minutes[] = {{0, "0 m"},       {60, "60 m"}, {61, "1 h 1 m"},
                                                       {125, "2 h 5 m"}, {-5, "-5 m"}, {-75, "-1 h 15 m"}};
    for (const auto &[value, text] : minutes)
        EXPECT_EQ(CWBatteryMonitor::minutesToString(value), QLatin1String(text));
    EXPECT_EQ(CWBatteryMonitor::uniqueBattIDForDictionary({{u"serial"_s, QVariant()}}), u"generic"_s);
    EXPECT_EQ(CWBatteryMonitor::uniqueBattIDForDictionary(
                  {{u"serial"_s, u"S1"_s}, {u"manufacturer"_s, u"SMP"_s}, {u"deviceName"_s, u"bq20z451"_s}}),
              u"SMP-bq20z451-S1"_s);
}

TEST_F(MonitorTest, DerivedValuesFollowTheSnapshot)
{
    EXPECT_EQ(monitor.summary(), u"{\n}"_s) << "nothing before the first tick";
    battery->next = pluggedIn({{u"ManufactureDate"_s, qint64(0x3C2F)}});
    monitor.tick();
    EXPECT_EQ(std::vector<double>({monitor.chargeFract(), monitor.voltage(), monitor.amperage(), monitor.wattage()}),
              std::vector<double>({0.5, 12.0, 1.5, 18.0}));
    EXPECT_NEAR(monitor.temperature(), 29.95, 1e-9);
    EXPECT_EQ(monitor.manufactureDate(), QDateTime(QDate(2010, 1, 15), QTime(0, 0), Qt::UTC));
    EXPECT_TRUE(monitor.summary().contains(u"Voltage = 12000;"_s));

    battery->next = pluggedIn({{u"ExternalConnected"_s, false}});
    monitor.tick();
    EXPECT_EQ(monitor.amperage(), 0.0) << "a positive current without adapter is not charging";
    battery->next = pluggedIn(
        {{u"ExternalConnected"_s, false}, {u"InstantAmperage"_s, qint64(-1200)}, {u"MaxCapacity"_s, qint64(0)}});
    monitor.tick();
    EXPECT_EQ(std::pair(monitor.amperage(), monitor.chargeFract()), std::pair(-1.2, 0.0));
}

TEST_F(MonitorTest, ARunLogsItsStartTheFourStatesAndItsStop)
{
    monitor.startUpdating();
    monitor.startUpdating();
    EXPECT_EQ(samples(), 1);
    const QStringList logged = events();
    ASSERT_EQ(logged.size(), 5) << logged.join(u',').toStdString();
    EXPECT_EQ(logged.first(), u"1"_s) << "one start marker, before the state events";
    EXPECT_EQ(asSet(logged.mid(1)), (QSet<QString>{u"3"_s, u"5:W01234"_s, u"9"_s, u"8"_s}))
        << "battery installed carries the serial";

    battery->next = pluggedIn({{u"ExternalConnected"_s, false}});
    monitor.tick();
    EXPECT_EQ(events().mid(5), QStringList{u"4"_s});
    EXPECT_EQ(samples(), 2);
    monitor.stopUpdating();
    EXPECT_EQ(events().last(), u"2"_s);
    EXPECT_FALSE(monitor.isUpdating());
}

TEST_F(MonitorTest, AnUnchangedTickLogsAndAnnouncesNothingButPostsBothNotifications)
{
    monitor.tick();
    const QStringList eventsBefore = events();
    const QDateTime loggedBefore = monitor.lastLogged();
    int announcements = 0, batteryUpdates = 0;
    QVariant logUpdateInfo;
    const Subscription observation =
        monitor.addObserver(u"voltage"_s, [&](CWBatteryMonitor::ChangePhase) { ++announcements; });
    NotificationCenter &center = NotificationCenter::defaultCenter();
    const Subscription batteryUpdated =
        center.addObserver(kCWBatteryUpdatedNotification, &monitor, [&](const Notification &) { ++batteryUpdates; });
    const Subscription logUpdated = center.addObserver(kCWLogUpdatedNotification, &monitor,
                                                       [&](const Notification &n) { logUpdateInfo = n.userInfo; });
    monitor.tick();
    EXPECT_EQ(std::tuple(samples(), events(), announcements, batteryUpdates), std::tuple(1, eventsBefore, 0, 1));
    EXPECT_EQ(monitor.lastLogged(), loggedBefore);
    EXPECT_GE(monitor.lastUpdated(), loggedBefore);
    EXPECT_EQ(logUpdateInfo.toMap(), pluggedIn());
}

TEST_F(MonitorTest, AChangeIsAnnouncedOnceForEachPropertyItChangesWithTheOldValueBeforeAndTheNewAfter)
{
    monitor.tick();
    QStringList announced;
    std::vector<Subscription> subscriptions;
    for (const QString &property : {u"timeLeft"_s, u"currentCapacity"_s, u"voltage"_s, u"wattage"_s, u"hasBattery"_s,
                                    u"temperature"_s, u"amperage"_s, u"isCharging"_s, u"hasAdapter"_s}) {
        subscriptions.push_back(monitor.addObserver(property, [&, property](CWBatteryMonitor::ChangePhase phase) {
            announced << (phase == CWBatteryMonitor::ChangePhase::Will ? u"will:"_s : u"did:"_s) + property + u"="_s
                             + QString::number(monitor.voltage());
        }));
    }
    battery->next = pluggedIn({{u"Voltage"_s, qint64(12010)}});
    monitor.tick();
    EXPECT_EQ(announced, QStringList({u"will:voltage=12"_s, u"will:wattage=12"_s, u"did:voltage=12.01"_s,
                                      u"did:wattage=12.01"_s}));
}

TEST_F(MonitorTest, FailedReadsLogEmptySamplesButStateEventsOnlyOnce)
{
    monitor.startUpdating();
    const qsizetype eventsBefore = events().size();
    battery->next.reset();
    ConsoleCapture console;
    monitor.tick();
    monitor.tick();
    EXPECT_TRUE(console.contains(u"Failed to get battery info."_s));
    EXPECT_TRUE(monitor.battInfo().isNull());
    EXPECT_EQ(samples(), 3) << "a failed read counts as a change every time";
    EXPECT_EQ(asSet(events().mid(eventsBefore)), (QSet<QString>{u"4"_s, u"6"_s, u"10"_s, u"8"_s}));
    EXPECT_EQ(events().size(), eventsBefore + 4) << "the second failed read changes nothing";
    EXPECT_TRUE(CWLog::sharedLog()->battLogEntriesAboveIndex(2, {u"Voltage"_s})->value(u"Voltage"_s).first().isNull());
    LogFile(CWLog::sharedLogFile()).exec(u"DROP TABLE battlog"_s); // a log that cannot take samples is said once
    monitor.tick();
    monitor.tick();
    EXPECT_EQ(console.lines().count(u"ERROR: Unable to log batt dict."_s), 1);
    monitor.stopUpdating();
}

TEST_F(MonitorTest, TheMachineIdFileHoldsAPositiveLeadingInteger)
{
    QDir().mkpath(home.supportPath());
    EXPECT_EQ(monitor.machineID(), -1);
    const std::pair<const char *, qint64> files[] = {{"0", -1}, {"-1", -1}, {"abc", -1},
                                                     {"", -1},  {"42", 42}, {" 77 trailing", 77}};
    for (const auto &[text, machineID] : files) {
        writeTextFile(home.supportPath(), u"modelid"_s, QString::fromLatin1(text));
        EXPECT_EQ(monitor.machineID(), machineID) << text;
    }
    QFile::remove(home.supportPath() + u"/modelid"_s);
    QDir().mkpath(home.supportPath() + u"/modelid"_s);
    EXPECT_EQ(monitor.machineID(), -1) << "a directory is no machine ID";
    ConsoleCapture console;
    monitor.setMachineID(5);
    EXPECT_TRUE(console.lines().value(0).startsWith(u"ERROR: unable to set machine ID: "_s)) << "with the reason";
}
