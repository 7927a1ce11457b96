#include "SimulatedBattery.h"
#include "TestSupport.h"

#include <QThread>
#include <gtest/gtest.h>

namespace {

constexpr double kDay = 24 * 3600;

enum class State { Discharging, Charging, Full };

State stateOf(const QVariantMap &map)
{
    if (!map.value("ExternalConnected").toBool())
        return State::Discharging;
    return map.value("FullyCharged").toBool() ? State::Full : State::Charging;
}

double watts(const QVariantMap &map)
{
    return map.value("Voltage").toDouble() * map.value("InstantAmperage").toDouble() / 1e6;
}

} // namespace

TEST(SimulatedBattery, StartsFullAndRunsThroughACycleInOrder)
{
    EXPECT_EQ(SimulatedBattery::snapshotAt(0).value("CurrentCapacity").toLongLong(), 4600);
    QList<State> order{State::Discharging};
    for (double t = 0; t < kDay; t += SimulatedBattery::kReadingInterval) {
        const State state = stateOf(SimulatedBattery::snapshotAt(t));
        if (state != order.last())
            order.append(state);
    }
    ASSERT_GE(order.size(), 4);
    EXPECT_EQ(order.mid(0, 4), (QList<State>{State::Discharging, State::Charging, State::Full, State::Discharging}));
}

TEST(SimulatedBattery, ValuesArePlausible)
{
    double lowestFraction = 1;
    double highestChargeWatts = 0;
    for (double t = 0; t < 2 * kDay; t += SimulatedBattery::kReadingInterval) {
        const QVariantMap map = SimulatedBattery::snapshotAt(t);
        SCOPED_TRACE(t);
        const qint64 current = map.value("CurrentCapacity").toLongLong();
        const qint64 max = map.value("MaxCapacity").toLongLong();
        ASSERT_GT(current, 0);
        ASSERT_LE(current, max);
        ASSERT_LT(max, map.value("DesignCapacity").toLongLong());
        lowestFraction = std::min(lowestFraction, double(current) / double(max));

        const QVariantList cells = map.value("CellVoltage").toList();
        ASSERT_EQ(cells.size(), 3);
        qint64 sum = 0;
        for (const QVariant &cell : cells) {
            ASSERT_EQ(cell.typeId(), QMetaType::LongLong);
            ASSERT_GE(cell.toLongLong(), 3400);
            ASSERT_LE(cell.toLongLong(), 4210);
            sum += cell.toLongLong();
        }
        ASSERT_EQ(map.value("Voltage").toLongLong(), sum);

        const double celsius = map.value("Temperature").toDouble() / 10 - 273.15;
        ASSERT_GT(celsius, 20);
        ASSERT_LT(celsius, 45);

        switch (stateOf(map)) {
        case State::Discharging:
            ASSERT_GT(-watts(map), 7);
            ASSERT_LT(-watts(map), 13);
            ASSERT_GT(map.value("TimeRemaining").toLongLong(), 0);
            ASSERT_FALSE(map.value("IsCharging").toBool());
            break;
        case State::Charging:
            ASSERT_TRUE(map.value("IsCharging").toBool());
            ASSERT_GT(map.value("InstantAmperage").toLongLong(), 0);
            ASSERT_LE(map.value("TimeRemaining").toLongLong(), 120);
            ASSERT_TRUE(map.contains("TimeRemaining"));
            highestChargeWatts = std::max(highestChargeWatts, watts(map));
            break;
        case State::Full:
            ASSERT_FALSE(map.value("IsCharging").toBool());
            ASSERT_EQ(map.value("InstantAmperage").toLongLong(), 0);
            ASSERT_EQ(current, max);
            ASSERT_FALSE(map.contains("TimeRemaining"));
            break;
        }
    }
    EXPECT_NEAR(lowestFraction, 0.2, 0.01);
    EXPECT_GT(highestChargeWatts, 40);
    EXPECT_LE(highestChargeWatts, 45);
}

TEST(SimulatedBattery, IdentityAndAgeingStayBelievable)
{
    const QVariantMap start = SimulatedBattery::snapshotAt(0);
    EXPECT_EQ(start.value("CycleCount").toLongLong(), 312);
    EXPECT_EQ(start.value("DesignCycleCount9C").toLongLong(), 1000);
    const qint64 date = start.value("ManufactureDate").toLongLong();
    EXPECT_EQ(date >> 9, 2021 - 1980);
    EXPECT_EQ((date >> 5) & 0xF, 3);
    EXPECT_EQ(date & 0x1F, 17);
    EXPECT_FALSE(start.value("BatterySerialNumber").toString().isEmpty());

    // A few cycles a day; capacity fades by whole mAh, slowly.
    const QVariantMap weekLater = SimulatedBattery::snapshotAt(7 * kDay);
    EXPECT_GT(weekLater.value("CycleCount").toLongLong(), 320);
    EXPECT_LT(weekLater.value("CycleCount").toLongLong(), 350);
    EXPECT_LT(weekLater.value("MaxCapacity").toLongLong(), 4600);
    EXPECT_GT(weekLater.value("MaxCapacity").toLongLong(), 4570);
    EXPECT_EQ(weekLater.value("BatterySerialNumber"), start.value("BatterySerialNumber"));
}

TEST(SimulatedBattery, ChangesOnlyAtGaugeReadings)
{
    EXPECT_EQ(SimulatedBattery::snapshotAt(1234.0), SimulatedBattery::snapshotAt(1234.0));
    EXPECT_EQ(SimulatedBattery::snapshotAt(1230.0), SimulatedBattery::snapshotAt(1239.9));
    EXPECT_EQ(SimulatedBattery::snapshotAt(-5), SimulatedBattery::snapshotAt(0));

    // A real-time hour logs at most one sample per reading, yet the gauge is visibly alive.
    int changes = 0;
    QVariantMap previous = SimulatedBattery::snapshotAt(0);
    for (int second = 1; second < 3600; ++second) {
        const QVariantMap map = SimulatedBattery::snapshotAt(second);
        changes += map != previous;
        previous = map;
    }
    EXPECT_LE(changes, 360);
    EXPECT_GT(changes, 200);
}

TEST(SimulatedBattery, RunsOnItsOwnClockOnTheRealMachine)
{
    QTemporaryDir sysfs;
    const QByteArray previousRoot = qgetenv("CELLWISE_SYSFS_ROOT");
    qputenv("CELLWISE_SYSFS_ROOT", sysfs.path().toUtf8());
    writeTextFile(sysfs.path(), QStringLiteral("class/dmi/id/product_name"), QStringLiteral("MacBookPro11,1\n"));

    SimulatedBattery realTime;
    EXPECT_TRUE(realTime.hasBatteryEntry());
    EXPECT_EQ(realTime.modelCode(), QStringLiteral("MacBookPro11,1"));
    EXPECT_EQ(realTime.copyBatteryProperties(), SimulatedBattery::snapshotAt(0));

    SimulatedBattery fast(1e6);
    QThread::msleep(20);
    const std::optional<QVariantMap> later = fast.copyBatteryProperties();
    ASSERT_TRUE(later);
    EXPECT_NE(*later, SimulatedBattery::snapshotAt(0));

    qputenv("CELLWISE_SYSFS_ROOT", previousRoot);
}
