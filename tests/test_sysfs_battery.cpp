#include "ManufactureDate.h"
#include "SysfsBatteryRegistry.h"
#include "SysfsSnapshot.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure messages for snapshot values.
void PrintTo(const QVariant &value, std::ostream *os)
{
    *os << value.typeName() << ' ' << value.toString().toStdString();
}

namespace {

PowerSupply supply(const QString &name, const QByteArray &uevent)
{
    return {name, SysfsSnapshot::parseUevent(uevent)};
}

const QByteArray kChargeBattery = "POWER_SUPPLY_NAME=BAT0\n"
                                  "POWER_SUPPLY_TYPE=Battery\n"
                                  "POWER_SUPPLY_STATUS=Discharging\n"
                                  "POWER_SUPPLY_PRESENT=1\n"
                                  "POWER_SUPPLY_TECHNOLOGY=Li-ion\n"
                                  "POWER_SUPPLY_CYCLE_COUNT=312\n"
                                  "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=11400000\n"
                                  "POWER_SUPPLY_VOLTAGE_NOW=12345600\n"
                                  "POWER_SUPPLY_CURRENT_NOW=850000\n"
                                  "POWER_SUPPLY_CURRENT_AVG=-900400\n"
                                  "POWER_SUPPLY_CHARGE_FULL_DESIGN=5000000\n"
                                  "POWER_SUPPLY_CHARGE_FULL=4600000\n"
                                  "POWER_SUPPLY_CHARGE_NOW=3100000\n"
                                  "POWER_SUPPLY_TEMP=300\n"
                                  "POWER_SUPPLY_MODEL_NAME=  5B10W13930 \n"
                                  "POWER_SUPPLY_MANUFACTURER=SMP\n"
                                  "POWER_SUPPLY_SERIAL_NUMBER=\xff" "1234\n"
                                  "POWER_SUPPLY_MANUFACTURE_YEAR=2010\n"
                                  "POWER_SUPPLY_MANUFACTURE_MONTH=1\n"
                                  "POWER_SUPPLY_MANUFACTURE_DAY=15\n"
                                  "POWER_SUPPLY_CAPACITY_ERROR_MARGIN=1\n";

const QByteArray kEnergyBattery = "POWER_SUPPLY_TYPE=Battery\n"
                                  "POWER_SUPPLY_STATUS=Discharging\n"
                                  "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=11550000\n"
                                  "POWER_SUPPLY_VOLTAGE_NOW=12000000\n"
                                  "POWER_SUPPLY_POWER_NOW=9000000\n"
                                  "POWER_SUPPLY_ENERGY_FULL_DESIGN=57000000\n"
                                  "POWER_SUPPLY_ENERGY_FULL=51300000\n"
                                  "POWER_SUPPLY_ENERGY_NOW=25650000\n";

QByteArray adapter(const char *type, int online, const char *scope = "System")
{
    return QByteArray("POWER_SUPPLY_TYPE=") + type + "\nPOWER_SUPPLY_SCOPE=" + scope
        + "\nPOWER_SUPPLY_ONLINE=" + QByteArray::number(online) + "\n";
}

QVariantMap snapshotOf(const QByteArray &battery, const QList<PowerSupply> &others = {})
{
    return SysfsSnapshot::snapshot(QList<PowerSupply>{supply(QStringLiteral("BAT0"), battery)} + others);
}

} // namespace

TEST(SysfsSnapshot, ParsesOnlyPowerSupplyLines)
{
    const auto values = SysfsSnapshot::parseUevent("DEVTYPE=x\nPOWER_SUPPLY_MODEL_NAME=A=B C\ngarbage\n"
                                                   "POWER_SUPPLY_STATUS=Full");
    EXPECT_EQ(values.size(), 2);
    EXPECT_EQ(values.value("model_name"), "A=B C");
    EXPECT_EQ(values.value("status"), "Full");
}

TEST(SysfsSnapshot, MapsAChargeReportingBattery)
{
    const QVariantMap map = snapshotOf(kChargeBattery, {supply(QStringLiteral("AC"), adapter("Mains", 0))});
    EXPECT_EQ(map.value("BatteryInstalled"), true);
    EXPECT_EQ(map.value("ExternalConnected"), false);
    EXPECT_EQ(map.value("ExternalChargeCapable"), false);
    EXPECT_EQ(map.value("IsCharging"), false);
    EXPECT_EQ(map.value("FullyCharged"), false);
    EXPECT_EQ(map.value("Voltage"), qint64(12346));
    EXPECT_EQ(map.value("InstantAmperage"), qint64(-850)); // the driver's sign is overruled by the status
    EXPECT_EQ(map.value("Amperage"), qint64(-900));
    EXPECT_EQ(map.value("CurrentCapacity"), qint64(3100));
    EXPECT_EQ(map.value("MaxCapacity"), qint64(4600));
    EXPECT_EQ(map.value("DesignCapacity"), qint64(5000));
    EXPECT_EQ(map.value("CycleCount"), qint64(312));
    EXPECT_EQ(map.value("Temperature"), qint64(3031));
    EXPECT_EQ(map.value("TimeRemaining"), qint64(219)); // 3100 mAh at 850 mA
    EXPECT_EQ(map.value("DeviceName"), QStringLiteral("5B10W13930"));
    EXPECT_EQ(map.value("Manufacturer"), QStringLiteral("SMP"));
    EXPECT_EQ(map.value("BatterySerialNumber"), QString(QChar::ReplacementCharacter) + QStringLiteral("1234"));
    EXPECT_EQ(map.value("ManufactureDate"), qint64(0x3C2F));
    EXPECT_EQ(map.value("MaxErr"), qint64(1));
    EXPECT_EQ(map.value("Technology"), QStringLiteral("Li-ion"));
    EXPECT_EQ(map.value("PowerSupplyName"), QStringLiteral("BAT0"));
    EXPECT_FALSE(map.contains("AvgTimeToEmpty"));
    EXPECT_EQ(map.value("Voltage").typeId(), QMetaType::LongLong);
}

TEST(SysfsSnapshot, ConvertsEnergyWithTheDesignVoltage)
{
    const QVariantMap map = snapshotOf(kEnergyBattery);
    EXPECT_EQ(map.value("DesignCapacity"), qint64(4935)); // 57 Wh / 11.55 V
    EXPECT_EQ(map.value("MaxCapacity"), qint64(4442));
    EXPECT_EQ(map.value("CurrentCapacity"), qint64(2221)); // exactly half, as the energies are
    EXPECT_EQ(map.value("InstantAmperage"), qint64(-750)); // 9 W at 12 V
    EXPECT_EQ(map.value("TimeRemaining"), qint64(171)); // 25.65 Wh at 9 W

    QByteArray withoutDesign = kEnergyBattery;
    withoutDesign.replace("VOLTAGE_MIN_DESIGN", "IGNORED");
    EXPECT_EQ(snapshotOf(withoutDesign).value("DesignCapacity"), qint64(4750)); // falls back to voltage_now
}

TEST(SysfsSnapshot, SignsAndTimesFollowTheStatus)
{
    const QList<PowerSupply> mains{supply(QStringLiteral("AC"), adapter("Mains", 1))};
    QByteArray charging = kChargeBattery;
    charging.replace("Discharging", "Charging").replace("CURRENT_NOW=850000", "CURRENT_NOW=-1500000");
    QVariantMap map = snapshotOf(charging, mains);
    EXPECT_EQ(map.value("InstantAmperage"), qint64(1500));
    EXPECT_EQ(map.value("IsCharging"), true);
    EXPECT_EQ(map.value("ExternalChargeCapable"), true);
    EXPECT_EQ(map.value("TimeRemaining"), qint64(60)); // 1500 mAh to full at 1.5 A

    map = snapshotOf(charging + "POWER_SUPPLY_TIME_TO_FULL_NOW=1830\n", mains);
    EXPECT_EQ(map.value("TimeRemaining"), qint64(31));

    QByteArray idle = kChargeBattery;
    idle.replace("Discharging", "Not charging").replace("CURRENT_NOW=850000", "CURRENT_NOW=5000");
    map = snapshotOf(idle, mains);
    EXPECT_EQ(map.value("InstantAmperage"), qint64(5));
    EXPECT_EQ(map.value("ExternalChargeCapable"), false);
    EXPECT_FALSE(map.contains("TimeRemaining"));

    // Without an adapter a pack can only be discharging; a trickle gives no estimate.
    for (const char *status : {"Unknown", "Full"}) {
        QByteArray lingering = kChargeBattery;
        lingering.replace("Discharging", status).replace("CURRENT_NOW=850000", "CURRENT_NOW=9000");
        map = snapshotOf(lingering);
        EXPECT_EQ(map.value("InstantAmperage"), qint64(-9)) << status;
        EXPECT_FALSE(map.contains("TimeRemaining")) << status;
    }
}

TEST(SysfsSnapshot, LeavesOutGarbageAndAbsurdValues)
{
    const QVariantMap map = snapshotOf("POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\n"
                                       "POWER_SUPPLY_VOLTAGE_NOW=12000000\n"
                                       "POWER_SUPPLY_CURRENT_NOW=30000000\n" // 360 W
                                       "POWER_SUPPLY_CHARGE_NOW=-5\n"
                                       "POWER_SUPPLY_CHARGE_FULL=lots\n"
                                       "POWER_SUPPLY_CHARGE_FULL_DESIGN=\n"
                                       "POWER_SUPPLY_CYCLE_COUNT=12x\n"
                                       "POWER_SUPPLY_TEMP=-3000\n"
                                       "POWER_SUPPLY_MODEL_NAME=   \n"
                                       "POWER_SUPPLY_MANUFACTURE_YEAR=2010\n"
                                       "POWER_SUPPLY_MANUFACTURE_MONTH=13\n"
                                       "POWER_SUPPLY_MANUFACTURE_DAY=15\n");
    for (const char *key : {"InstantAmperage", "Amperage", "CurrentCapacity", "MaxCapacity", "DesignCapacity",
                            "CycleCount", "Temperature", "TimeRemaining", "DeviceName", "ManufactureDate"})
        EXPECT_FALSE(map.contains(key)) << key;
    EXPECT_EQ(map.value("Voltage"), qint64(12000));

    EXPECT_FALSE(snapshotOf("POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_POWER_NOW=400000000\n"
                            "POWER_SUPPLY_VOLTAGE_NOW=12000000\n")
                     .contains("InstantAmperage"));
}

TEST(SysfsSnapshot, ChoosesTheSystemBatteryAndAdapters)
{
    const QList<PowerSupply> supplies{
        supply(QStringLiteral("AAA-mouse"), "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n"
                                            "POWER_SUPPLY_STATUS=Charging\nPOWER_SUPPLY_CHARGE_NOW=100\n"),
        supply(QStringLiteral("AC"), adapter("Mains", 0)),
        supply(QStringLiteral("BAT0"), "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=0\n"),
        supply(QStringLiteral("BAT1"), kChargeBattery),
        supply(QStringLiteral("dock"), adapter("USB", 1, "Device")),
    };
    QVariantMap map = SysfsSnapshot::snapshot(supplies);
    EXPECT_EQ(map.value("PowerSupplyName"), QStringLiteral("BAT1"));
    EXPECT_EQ(map.value("ExternalConnected"), false);

    for (const char *type : {"USB", "USB_C", "Mains"}) {
        map = SysfsSnapshot::snapshot(supplies + QList<PowerSupply>{supply(QStringLiteral("usb"), adapter(type, 1))});
        EXPECT_EQ(map.value("ExternalConnected"), true) << type;
    }
}

TEST(SysfsSnapshot, AnAbsentPackLeavesOnlyTheAdapterState)
{
    const QList<PowerSupply> absent{supply(QStringLiteral("AC"), adapter("Mains", 1)),
                                    supply(QStringLiteral("BAT0"), "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=0\n"
                                                                   "POWER_SUPPLY_STATUS=Not charging\n")};
    const QVariantMap expected{{"BatteryInstalled", false}, {"ExternalConnected", true},
                               {"ExternalChargeCapable", true}, {"IsCharging", false}, {"FullyCharged", false}};
    EXPECT_EQ(SysfsSnapshot::snapshot(absent), expected);
    EXPECT_EQ(SysfsSnapshot::snapshot({absent.first()}), expected);
}

TEST(SysfsSnapshot, ModelCodeSkipsPlaceholders)
{
    EXPECT_EQ(SysfsSnapshot::modelCode(" MacBookPro11,1\n", "Pi\0junk"), QStringLiteral("MacBookPro11,1"));
    EXPECT_EQ(SysfsSnapshot::modelCode("To Be Filled By O.E.M.\n", QByteArray("Raspberry Pi 4\0x", 16)),
              QStringLiteral("Raspberry Pi 4"));
    EXPECT_EQ(SysfsSnapshot::modelCode("Default string", "Board"), QStringLiteral("Board"));
    EXPECT_TRUE(SysfsSnapshot::modelCode(" \n", "").isNull());
}

TEST(SysfsSnapshot, PacksManufactureDates)
{
    EXPECT_EQ(ManufactureDate::pack(2010, 1, 15), 0x3C2F);
    EXPECT_EQ(ManufactureDate::pack(2107, 12, 31), 0xFF9F);
    EXPECT_FALSE(ManufactureDate::pack(1979, 12, 31));
    EXPECT_FALSE(ManufactureDate::pack(2108, 1, 1));
    EXPECT_FALSE(ManufactureDate::pack(2020, 2, 0));
}

// The reader on a fake sysfs tree of its own.
class SysfsTree : public ::testing::Test {
protected:
    SysfsTree()
        : _previousRoot(qgetenv("CELLWISE_SYSFS_ROOT"))
    {
        qputenv("CELLWISE_SYSFS_ROOT", _dir.path().toUtf8());
    }
    ~SysfsTree() override { qputenv("CELLWISE_SYSFS_ROOT", _previousRoot); }

    void writeSupply(const QString &name, const QByteArray &uevent)
    {
        const QString path = QStringLiteral("class/power_supply/%1/uevent").arg(name);
        writeTextFile(_dir.path(), path, QString::fromLatin1(uevent));
    }
    void removeSupply(const QString &name) { QDir(_dir.path() + "/class/power_supply/" + name).removeRecursively(); }
    QString root() const { return _dir.path(); }

private:
    QTemporaryDir _dir;
    QByteArray _previousRoot;
};

TEST_F(SysfsTree, AMachineWithoutBatteryHasNoEntry)
{
    writeSupply(QStringLiteral("AC"), adapter("Mains", 1));
    writeSupply(QStringLiteral("hid-mouse-battery"), "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n");
    SysfsBatteryRegistry registry;
    EXPECT_FALSE(registry.hasBatteryEntry());
    EXPECT_FALSE(registry.copyBatteryProperties());
}

TEST_F(SysfsTree, ReadsTheBatteryAndFollowsItsChanges)
{
    writeSupply(QStringLiteral("AC"), "POWER_SUPPLY_ONLINE=1\n"); // type only in its own file, as before 5.8
    writeTextFile(root(), QStringLiteral("class/power_supply/AC/type"), QStringLiteral("Mains\n"));
    writeSupply(QStringLiteral("BAT0"), kChargeBattery);
    writeSupply(QStringLiteral("hid-mouse-battery"), "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n");
    SysfsBatteryRegistry registry;
    EXPECT_TRUE(registry.hasBatteryEntry());
    std::optional<QVariantMap> map = registry.copyBatteryProperties();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value("CurrentCapacity"), qint64(3100));
    EXPECT_EQ(map->value("ExternalConnected"), true);
    EXPECT_EQ(map->value("InstantAmperage"), qint64(-850)); // Discharging overrules the adapter

    // The firmware switches to energy reporting, and the temperature sensor goes away.
    writeSupply(QStringLiteral("BAT0"), kEnergyBattery);
    map = registry.copyBatteryProperties();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value("CurrentCapacity"), qint64(2221));
    EXPECT_FALSE(map->contains("Temperature"));

    // A pack that vanishes is a removed battery, not a failed read; it comes back the same way.
    removeSupply(QStringLiteral("BAT0"));
    map = registry.copyBatteryProperties();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value("BatteryInstalled"), false);
    EXPECT_EQ(map->value("ExternalConnected"), true);
    EXPECT_TRUE(registry.hasBatteryEntry());
    writeSupply(QStringLiteral("BAT0"), kChargeBattery);
    EXPECT_EQ(registry.copyBatteryProperties()->value("BatteryInstalled"), true);

    // An unreadable uevent counts as gone for that read.
    removeSupply(QStringLiteral("BAT0"));
    QDir().mkpath(root() + "/class/power_supply/BAT0/uevent");
    EXPECT_EQ(registry.copyBatteryProperties()->value("BatteryInstalled"), false);
}

TEST_F(SysfsTree, ModelCodeFromDmiElseDeviceTree)
{
    SysfsBatteryRegistry registry;
    EXPECT_TRUE(registry.modelCode().isNull());
    writeTextFile(root(), QStringLiteral("firmware/devicetree/base/model"), QStringLiteral("Pine64 Pinebook Pro"));
    writeTextFile(root(), QStringLiteral("class/dmi/id/product_name"), QStringLiteral("System Product Name\n"));
    EXPECT_EQ(registry.modelCode(), QStringLiteral("Pine64 Pinebook Pro"));
    writeTextFile(root(), QStringLiteral("class/dmi/id/product_name"), QStringLiteral("MacBookPro11,1\n"));
    EXPECT_EQ(registry.modelCode(), QStringLiteral("MacBookPro11,1"));
}
