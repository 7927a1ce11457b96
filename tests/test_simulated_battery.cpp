// The simulated pack: a believable cycle, believable values, and a gauge that changes only when read.
#include "SimulatedBattery.h"
#include "TestSupport.h"

namespace {

constexpr double kDay = 24 * 3600;

qint64 valueOf(const QVariantMap &map, const char *key)
{
    return map.value(QLatin1String(key)).toLongLong();
}

} // namespace

// The values agree with each other as a real pack's do; how large they are is the design's choice.
TEST(SimulatedBattery, RunsThroughDischargeChargeAndFullWithConsistentValues)
{
    QStringList states{u"discharging"_s};
    for (double t = 0; t < 2 * kDay; t += SimulatedBattery::kReadingInterval) {
        SCOPED_TRACE(t);
        const QVariantMap map = SimulatedBattery::snapshotAt(t);
        const qint64 current = valueOf(map, "CurrentCapacity"), max = valueOf(map, "MaxCapacity");
        ASSERT_TRUE(current > 0 && current <= max && max < valueOf(map, "DesignCapacity"));
        qint64 cells = 0;
        for (const QVariant &cell : map.value(u"CellVoltage"_s).toList())
            cells += cell.toLongLong();
        ASSERT_EQ(valueOf(map, "Voltage"), cells);
        const QString state = !map.value(u"ExternalConnected"_s).toBool() ? u"discharging"_s
                              : map.value(u"FullyCharged"_s).toBool()     ? u"full"_s
                                                                          : u"charging"_s;
        if (state != states.last())
            states << state;
        ASSERT_EQ(map.value(u"IsCharging"_s).toBool(), state == u"charging"_s);
        ASSERT_EQ(valueOf(map, "InstantAmperage") > 0, state == u"charging"_s);
        ASSERT_EQ(valueOf(map, "InstantAmperage") < 0, state == u"discharging"_s);
        ASSERT_EQ(map.contains(u"TimeRemaining"_s), state != u"full"_s);
        ASSERT_TRUE(state != u"full"_s || current == max);
    }
    EXPECT_EQ(states.mid(0, 4), QStringList({u"discharging"_s, u"charging"_s, u"full"_s, u"discharging"_s}));
}

TEST(SimulatedBattery, AgesSlowlyAndChangesOnlyAtGaugeReadings)
{
    const QVariantMap start = SimulatedBattery::snapshotAt(0);
    const QVariantMap weekLater = SimulatedBattery::snapshotAt(7 * kDay);
    EXPECT_GT(valueOf(weekLater, "CycleCount"), valueOf(start, "CycleCount"));
    EXPECT_LT(valueOf(weekLater, "MaxCapacity"), valueOf(start, "MaxCapacity"));
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
