#include "BatteryRegistry.h"
#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "TestSupport.h"

#include <QDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QVariantMap pluggedInSnapshot()
{
    return {{"BatteryInstalled", true}, {"ExternalConnected", true}, {"IsCharging", true},
            {"FullyCharged", false}, {"Voltage", qint64(12000)}, {"InstantAmperage", qint64(1500)},
            {"CurrentCapacity", qint64(3000)}, {"MaxCapacity", qint64(6000)}, {"Temperature", qint64(3031)},
            {"BatterySerialNumber", "W01234"}, {"CellVoltage", QVariantList{qint64(4000), qint64(4001), qint64(3999)}}};
}

QStringList eventTypes(CWLog *log)
{
    const CWLogResult events = log->eventLogEntriesAboveIndex(0);
    return events ? events->value("eventtype") : QStringList();
}

qsizetype sampleCount(CWLog *log)
{
    const CWLogResult samples = log->battLogEntriesAboveIndex(0, {"testidx"});
    return samples ? samples->value("testidx").size() : 0;
}

class MonitorTest : public ::testing::Test {
protected:

    // Records every announcement as "will:name" or "did:name".
    void recordAnnouncements(const QStringList &properties)
    {
        for (const QString &property : properties) {
            subscriptions.push_back(monitor.addObserver(property, [this, property](CWBatteryMonitor::ChangePhase phase) {
                announced << (phase == CWBatteryMonitor::ChangePhase::Will ? "will:" : "did:") + property;
            }));
        }
    }

    ScopedDataHome home;
    ScopedFakeBattery registry{pluggedInSnapshot()};
    CWBatteryMonitor monitor;
    QStringList announced;
    std::vector<Subscription> subscriptions;
};

const QStringList allProperties = {"timeLeft", "cellVoltage", "currentCapacity", "maxCapacity", "voltage", "wattage",
                                   "hasBattery", "temperature", "amperage", "isFullyCharged", "isCharging", "hasAdapter",
                                   "batterySerialNumber"};

} // namespace

TEST(BatteryMonitorClassOperations, MinutesToStringUsesHoursFrom61Minutes)
{
    EXPECT_EQ(CWBatteryMonitor::minutesToString(0), "0 m");
    EXPECT_EQ(CWBatteryMonitor::minutesToString(60), "60 m");
    EXPECT_EQ(CWBatteryMonitor::minutesToString(61), "1 h 1 m");
    EXPECT_EQ(CWBatteryMonitor::minutesToString(125), "2 h 5 m");
    EXPECT_EQ(CWBatteryMonitor::minutesToString(-5), "-5 m");
    EXPECT_EQ(CWBatteryMonitor::minutesToString(-75), "-1 h 15 m");
}

TEST(BatteryMonitorClassOperations, ManufactureDateCodeDecodesToUtcMidnight)
{
    const QDateTime date = CWBatteryMonitor::manufactureDateFromCode(0x3C2F);
    EXPECT_EQ(date, QDateTime(QDate(2010, 1, 15), QTime(0, 0), QTimeZone::utc()));
    EXPECT_FALSE(CWBatteryMonitor::manufactureDateFromCode(0).isValid());
}

TEST(BatteryMonitorClassOperations, UniqueBatteryIdNeedsASerial)
{
    EXPECT_EQ(CWBatteryMonitor::uniqueBattIDForDictionary({}), "generic");
    EXPECT_EQ(CWBatteryMonitor::uniqueBattIDForDictionary({{"serial", QVariant()}}), "generic");
    EXPECT_EQ(CWBatteryMonitor::uniqueBattIDForDictionary({{"serial", "S1"}, {"manufacturer", "SMP"}, {"deviceName", "bq20z451"}}),
              "SMP-bq20z451-S1");
}

TEST_F(MonitorTest, DerivedValuesBeforeTheFirstTickAreZero)
{
    EXPECT_TRUE(monitor.battInfo().isNull());
    EXPECT_EQ(monitor.chargeFract(), 0.0);
    EXPECT_FALSE(monitor.hasBattery());
    EXPECT_EQ(monitor.summary(), "{\n}");
}

TEST_F(MonitorTest, DerivedValuesFollowTheSnapshot)
{
    registry->next->insert("ManufactureDate", qint64(0x3C2F));
    monitor.tick();
    EXPECT_DOUBLE_EQ(monitor.chargeFract(), 0.5);
    EXPECT_NEAR(monitor.temperature(), 29.95, 1e-9);
    EXPECT_DOUBLE_EQ(monitor.voltage(), 12.0);
    EXPECT_DOUBLE_EQ(monitor.amperage(), 1.5);
    EXPECT_DOUBLE_EQ(monitor.wattage(), 18.0);
    EXPECT_EQ(monitor.serialNumber(), "W01234");
    EXPECT_EQ(monitor.cellVoltage().size(), 3);
    EXPECT_TRUE(monitor.summary().contains("Voltage = 12000;"));
    EXPECT_EQ(monitor.manufactureDate().toString(Qt::ISODate), "2010-01-15T00:00:00+00:00");

    QVariantMap unplugged = pluggedInSnapshot();
    unplugged["ExternalConnected"] = false;
    registry->next = unplugged;
    monitor.tick();
    EXPECT_DOUBLE_EQ(monitor.amperage(), 0.0) << "a positive current without adapter is not charging";

    unplugged["InstantAmperage"] = qint64(-1200);
    unplugged["MaxCapacity"] = qint64(0);
    registry->next = unplugged;
    monitor.tick();
    EXPECT_DOUBLE_EQ(monitor.amperage(), -1.2);
    EXPECT_EQ(monitor.chargeFract(), 0.0);
}

TEST_F(MonitorTest, FirstRunLogsStartMarkerSampleAndTheFourStates)
{
    monitor.startUpdating();
    monitor.startUpdating();
    CWLog *log = CWLog::sharedLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(sampleCount(log), 1);
    const QStringList events = eventTypes(log);
    ASSERT_EQ(events.size(), 5) << events.join(',').toStdString();
    EXPECT_EQ(events.first(), "1") << "one start marker, before the state events";
    EXPECT_EQ(QSet<QString>(events.begin() + 1, events.end()), (QSet<QString>{"3", "5", "9", "8"}));
    const CWLogResult data = log->eventLogEntriesAboveIndex(0);
    EXPECT_EQ(data->value("data").at(events.indexOf("5")), "W01234") << "battery installed carries the serial";

    monitor.stopUpdating();
    EXPECT_EQ(eventTypes(log).last(), "2");
    EXPECT_FALSE(monitor.isUpdating());
}

TEST_F(MonitorTest, UnchangedTickOnlyUpdatesTimeAndNotifies)
{
    monitor.tick();
    CWLog *log = CWLog::sharedLog();
    const QStringList eventsBefore = eventTypes(log);
    const QDateTime loggedBefore = monitor.lastLogged();
    recordAnnouncements(allProperties);
    int batteryUpdates = 0;
    QVariant logUpdateInfo;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    const Subscription batteryUpdated = center.addObserver(kCWBatteryUpdatedNotification, &monitor,
                                                           [&](const Notification &) { ++batteryUpdates; });
    const Subscription logUpdated = center.addObserver(kCWLogUpdatedNotification, &monitor,
                                                       [&](const Notification &n) { logUpdateInfo = n.userInfo; });

    monitor.tick();

    EXPECT_EQ(sampleCount(log), 1);
    EXPECT_EQ(eventTypes(log), eventsBefore);
    EXPECT_TRUE(announced.isEmpty()) << announced.join(',').toStdString();
    EXPECT_EQ(monitor.lastLogged(), loggedBefore);
    EXPECT_GE(monitor.lastUpdated(), loggedBefore);
    EXPECT_EQ(batteryUpdates, 1);
    EXPECT_EQ(logUpdateInfo.toMap(), pluggedInSnapshot());
}

TEST_F(MonitorTest, VoltageChangeAnnouncesVoltageAndWattageOnce)
{
    monitor.tick();
    recordAnnouncements(allProperties);
    QVariantMap changed = pluggedInSnapshot();
    changed["Voltage"] = qint64(12010);
    registry->next = changed;
    monitor.tick();
    EXPECT_EQ(sampleCount(CWLog::sharedLog()), 2);
    announced.sort();
    EXPECT_EQ(announced, (QStringList{"did:voltage", "did:wattage", "will:voltage", "will:wattage"}));
}

TEST_F(MonitorTest, ObserversSeeOldValueBeforeAndNewValueAfter)
{
    monitor.tick();
    QList<bool> seen;
    const Subscription observation =
        monitor.addObserver("hasAdapter", [&](CWBatteryMonitor::ChangePhase) { seen << monitor.hasAdapter(); });
    QVariantMap unplugged = pluggedInSnapshot();
    unplugged["ExternalConnected"] = false;
    registry->next = unplugged;
    monitor.tick();
    EXPECT_EQ(seen, (QList<bool>{true, false}));
}

TEST_F(MonitorTest, AdapterChangeWhileRunningLogsPluggedInWithoutData)
{
    QVariantMap unplugged = pluggedInSnapshot();
    unplugged["ExternalConnected"] = false;
    registry->next = unplugged;
    monitor.startUpdating();
    CWLog *log = CWLog::sharedLog();
    const qsizetype eventsBefore = eventTypes(log).size();

    registry->next = pluggedInSnapshot();
    monitor.tick();

    const CWLogResult events = log->eventLogEntriesAboveIndex(0);
    ASSERT_EQ(events->value("eventtype").size(), eventsBefore + 1);
    EXPECT_EQ(events->value("eventtype").last(), "3");
    EXPECT_TRUE(events->value("data").last().isNull());
    EXPECT_EQ(sampleCount(log), 2);
    monitor.stopUpdating();
}

TEST_F(MonitorTest, FailedReadsLogEmptySamplesButStateEventsOnlyOnce)
{
    monitor.startUpdating();
    CWLog *log = CWLog::sharedLog();
    const qsizetype eventsBefore = eventTypes(log).size();
    registry->next.reset();
    ConsoleCapture console;

    monitor.tick();
    monitor.tick();

    EXPECT_TRUE(console.contains("Failed to get battery info."));
    EXPECT_TRUE(monitor.battInfo().isNull());
    EXPECT_EQ(sampleCount(log), 3) << "a failed read counts as a change every time";
    const QStringList events = eventTypes(log).mid(eventsBefore);
    EXPECT_EQ(QSet<QString>(events.begin(), events.end()), (QSet<QString>{"4", "6", "10", "8"}));
    EXPECT_EQ(events.size(), 4) << "the second failed read changes nothing";
    const CWLogResult last = log->battLogEntriesAboveIndex(2, {"Voltage", "BatteryInstalled"});
    EXPECT_TRUE(last->value("Voltage").first().isNull());
    monitor.stopUpdating();
}

TEST_F(MonitorTest, MachineIdFileMeansAPositiveLeadingInteger)
{
    const QString path = home.supportPath() + "/modelid";
    QDir().mkpath(home.supportPath());
    EXPECT_EQ(monitor.machineID(), -1);
    for (const char *text : {"0", "-1", "abc", ""}) {
        writeTextFile(home.supportPath(), "modelid", text);
        EXPECT_EQ(monitor.machineID(), -1) << text;
    }
    writeTextFile(home.supportPath(), "modelid", "42");
    EXPECT_EQ(monitor.machineID(), 42);
    writeTextFile(home.supportPath(), "modelid", " 77 trailing");
    EXPECT_EQ(monitor.machineID(), 77);

    monitor.setMachineID(123456789012LL);
    EXPECT_EQ(monitor.machineID(), 123456789012LL);
    monitor.setMachineID(-1);
    EXPECT_EQ(monitor.machineID(), -1);

    QFile::remove(path);
    QDir().mkpath(path);
    EXPECT_EQ(monitor.machineID(), -1) << "a directory is no machine ID";
    ConsoleCapture console;
    monitor.setMachineID(5);
    EXPECT_TRUE(console.lines().value(0).startsWith("ERROR: unable to set machine ID: ")) << "with the reason";
}
