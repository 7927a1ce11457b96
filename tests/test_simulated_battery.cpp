// The simulated pack: a believable cycle, believable values, and a gauge that changes only when read.
#include "SimulatedBattery.h"
#include "TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr double kDay = 24 * 3600;

qint64 valueOf(const QVariantMap &map, const char *key)
{
    return map.value(QLatin1String(key)).toLongLong();
}

} // namespace

TEST(SimulatedBattery, RunsThroughDischargeChargeAndFullWithPlausibleValues)
{
    QStringList states{u"discharging"_s};
    double lowestFraction = 1;
    qint64 highestChargeMilliwatts = 0;
    for (double t = 0; t < 2 * kDay; t += SimulatedBattery::kReadingInterval) {
        SCOPED_TRACE(t);
        const QVariantMap map = SimulatedBattery::snapshotAt(t);
        const qint64 current = valueOf(map, "CurrentCapacity"), max = valueOf(map, "MaxCapacity");
        ASSERT_GT(current, 0);
        ASSERT_LE(current, max);
        ASSERT_LT(max, valueOf(map, "DesignCapacity"));
        lowestFraction = std::min(lowestFraction, double(current) / double(max));
        qint64 cells = 0;
        for (const QVariant &cell : map.value(u"CellVoltage"_s).toList()) {
            ASSERT_TRUE(cell.toLongLong() >= 3400 && cell.toLongLong() <= 4210) << cell.toLongLong();
            cells += cell.toLongLong();
        }
        ASSERT_EQ(valueOf(map, "Voltage"), cells);
        const double celsius = double(valueOf(map, "Temperature")) / 10 - 273.15;
        ASSERT_TRUE(celsius > 20 && celsius < 45) << celsius;

        const qint64 milliwatts = valueOf(map, "Voltage") * valueOf(map, "InstantAmperage") / 1000;
        const QString state = !map.value(u"ExternalConnected"_s).toBool() ? u"discharging"_s
            : map.value(u"FullyCharged"_s).toBool()                       ? u"full"_s
                                                                          : u"charging"_s;
        if (state != states.last())
            states << state;
        ASSERT_EQ(map.value(u"IsCharging"_s).toBool(), state == u"charging"_s);
        if (state == u"discharging"_s) {
            ASSERT_TRUE(-milliwatts > 7000 && -milliwatts < 13000) << milliwatts;
            ASSERT_GT(valueOf(map, "TimeRemaining"), 0);
        } else if (state == u"charging"_s) {
            ASSERT_GT(milliwatts, 0);
            ASSERT_TRUE(map.contains(u"TimeRemaining"_s) && valueOf(map, "TimeRemaining") <= 120);
            highestChargeMilliwatts = std::max(highestChargeMilliwatts, milliwatts);
        } else {
            ASSERT_EQ(milliwatts, 0);
            ASSERT_EQ(current, max);
            ASSERT_FALSE(map.contains(u"TimeRemaining"_s));
        }
    }
    EXPECT_EQ(states.mid(0, 4), QStringList({u"discharging"_s, u"charging"_s, u"full"_s, u"discharging"_s}));
    EXPECT_NEAR(lowestFraction, 0.2, 0.01);
    EXPECT_TRUE(highestChargeMilliwatts > 40000 && highestChargeMilliwatts <= 45000) << highestChargeMilliwatts;
}

TEST(SimulatedBattery, AgesSlowlyAndChangesOnlyAtGaugeReadings)
{
    const QVariantMap start = SimulatedBattery::snapshotAt(0);
    const QVariantMap weekLater = SimulatedBattery::snapshotAt(7 * kDay);
    EXPECT_TRUE(valueOf(weekLater, "CycleCount") > 320 && valueOf(weekLater, "CycleCount") < 350) << "a few a day";
    EXPECT_TRUE(valueOf(weekLater, "MaxCapacity") > 4570 && valueOf(weekLater, "MaxCapacity") < 4600);
    EXPECT_EQ(weekLater.value(u"BatterySerialNumber"_s), start.value(u"BatterySerialNumber"_s));

    EXPECT_EQ(SimulatedBattery::snapshotAt(1230.0), SimulatedBattery::snapshotAt(1239.9));
    EXPECT_EQ(SimulatedBattery::snapshotAt(-5), start);
    // A real-time hour logs at most one sample per reading, yet the gauge is visibly alive.
    int changes = 0;
    for (int second = 1; second < 3600; ++second)
        changes += SimulatedBattery::snapshotAt(second) != SimulatedBattery::snapshotAt(second - 1);
    EXPECT_TRUE(changes > 200 && changes <= 360) << changes;
}

TEST(SimulatedBattery, RunsOnItsOwnClockOnTheRealMachine)
{
    QTemporaryDir sysfs;
    ScopedEnv root("CELLWISE_SYSFS_ROOT", sysfs.path().toUtf8());
    writeTextFile(sysfs.path(), u"class/dmi/id/product_name"_s, u"MacBookPro11,1\n"_s);

    SimulatedBattery realTime;
    EXPECT_TRUE(realTime.hasBatteryEntry());
    EXPECT_EQ(realTime.modelCode(), u"MacBookPro11,1"_s);
    EXPECT_EQ(realTime.copyBatteryProperties(), SimulatedBattery::snapshotAt(0));

    SimulatedBattery fast(1e6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fast.copyBatteryProperties() != SimulatedBattery::snapshotAt(0); }, 1000));
}
