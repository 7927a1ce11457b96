// The battery as Linux reports it: uevent text mapped to the registry's keys and units, and the
// reader on a fake sysfs tree.
#include "ManufactureDate.h"
#include "SysfsBatteryRegistry.h"
#include "SysfsSnapshot.h"
#include "TestSupport.h"

#include <QDir>

#include <sys/stat.h>

namespace {

PowerSupply supply(const QString &name, const QByteArray &uevent)
{
    return {name, SysfsSnapshot::parseUevent(uevent)};
}

const QByteArray kChargeBattery =
    "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_PRESENT=1\n"
    "POWER_SUPPLY_TECHNOLOGY=Li-ion\nPOWER_SUPPLY_CYCLE_COUNT=312\nPOWER_SUPPLY_VOLTAGE_MIN_DESIGN=11400000\n"
    "POWER_SUPPLY_VOLTAGE_NOW=12345600\nPOWER_SUPPLY_CURRENT_NOW=850000\nPOWER_SUPPLY_CURRENT_AVG=-900400\n"
    "POWER_SUPPLY_CHARGE_FULL_DESIGN=5000000\nPOWER_SUPPLY_CHARGE_FULL=4600000\nPOWER_SUPPLY_CHARGE_NOW=3100000\n"
    "POWER_SUPPLY_TEMP=300\nPOWER_SUPPLY_MODEL_NAME=  5B10W13930 \nPOWER_SUPPLY_MANUFACTURER=SMP\n"
    "POWER_SUPPLY_SERIAL_NUMBER=\xff"
    "1234\nPOWER_SUPPLY_MANUFACTURE_YEAR=2010\nPOWER_SUPPLY_MANUFACTURE_MONTH=1\n"
    "POWER_SUPPLY_MANUFACTURE_DAY=15\nPOWER_SUPPLY_CAPACITY_ERROR_MARGIN=1\nDEVTYPE=ignored\ngarbage\n";

const QByteArray kEnergyBattery =
    "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_VOLTAGE_MIN_DESIGN=11550000\n"
    "POWER_SUPPLY_VOLTAGE_NOW=12000000\nPOWER_SUPPLY_POWER_NOW=9000000\nPOWER_SUPPLY_ENERGY_FULL_DESIGN=57000000\n"
    "POWER_SUPPLY_ENERGY_FULL=51300000\nPOWER_SUPPLY_ENERGY_NOW=25650000\n";

QByteArray adapter(const char *type, int online, const char *scope = "System")
{
    return QByteArray("POWER_SUPPLY_TYPE=") + type + "\nPOWER_SUPPLY_SCOPE=" + scope
           + "\nPOWER_SUPPLY_ONLINE=" + QByteArray::number(online) + "\n";
}

QVariantMap snapshotOf(const QByteArray &battery, const QList<PowerSupply> &others = {})
{
    return SysfsSnapshot::snapshot(QList<PowerSupply>{supply(u"BAT0"_s, battery)} + others);
}

} // namespace

TEST(SysfsSnapshot, MapsAChargeReportingBattery)
{
    // clang-format off
    const QVariantMap expected{
        {u"BatteryInstalled"_s, true}, {u"ExternalConnected"_s, false}, {u"ExternalChargeCapable"_s, false},
        {u"IsCharging"_s, false}, {u"FullyCharged"_s, false}, {u"Voltage"_s, qint64(12346)},
        {u"InstantAmperage"_s, qint64(-850)}, // the driver's sign is overruled by the status
        {u"Amperage"_s, qint64(-900)}, {u"CurrentCapacity"_s, qint64(3100)}, {u"MaxCapacity"_s, qint64(4600)},
        {u"DesignCapacity"_s, qint64(5000)}, {u"CycleCount"_s, qint64(312)}, {u"Temperature"_s, qint64(3031)},
        {u"TimeRemaining"_s, qint64(219)}, // 3100 mAh at 850 mA
        {u"DeviceName"_s, u"5B10W13930"_s}, {u"Manufacturer"_s, u"SMP"_s},
        {u"BatterySerialNumber"_s, QString(QChar::ReplacementCharacter) + u"1234"_s},
        {u"ManufactureDate"_s, qint64(0x3C2F)}, {u"MaxErr"_s, qint64(1)}, {u"Technology"_s, u"Li-ion"_s},
        {u"PowerSupplyName"_s, u"BAT0"_s},
    };
    // clang-format on
    const QVariantMap map = snapshotOf(kChargeBattery, {supply(u"AC"_s, adapter("Mains", 0))});
    EXPECT_EQ(map, expected);
    EXPECT_EQ(map.value(u"Voltage"_s).typeId(), QMetaType::LongLong);
}

TEST(SysfsSnapshot, ConvertsEnergyWithTheDesignVoltage)
{
    const QVariantMap map = snapshotOf(kEnergyBattery);
    const std::pair<const char *, qint64> expected[] = {
        {"DesignCapacity", 4935},                             // 57 Wh / 11.55 V
        {"MaxCapacity", 4442},     {"CurrentCapacity", 2221}, // exactly half, as the energies are
        {"InstantAmperage", -750},                            // 9 W at 12 V
        {"TimeRemaining", 171},                               // 25.65 Wh at 9 W
    };
    for (const auto &[key, value] : expected)
        EXPECT_EQ(map.value(QLatin1String(key)), value) << key;
    QByteArray withoutDesign = kEnergyBattery;
    withoutDesign.replace("VOLTAGE_MIN_DESIGN", "IGNORED");
    EXPECT_EQ(snapshotOf(withoutDesign).value(u"DesignCapacity"_s), qint64(4750)) << "falls back to voltage_now";
}

TEST(SysfsSnapshot, SignsAndTimesFollowTheStatus)
{
    const struct {
        const char *status;
        const char *current; // µA as the driver reports it
        bool plugged;
        QByteArray extra;
        qint64 amperage;      // mA
        qint64 timeRemaining; // min; -1: none
        bool charging, chargeCapable;
    } rows[] = {
        {"Charging", "-1500000", true, {}, 1500, 60, true, true}, // 1500 mAh to full at 1.5 A
        {"Charging", "-1500000", true, "POWER_SUPPLY_TIME_TO_FULL_NOW=1830\n", 1500, 31, true, true},
        {"Discharging", "850000", true, {}, -850, 219, false, true}, // the status overrules the adapter
        {"Not charging", "5000", true, {}, 5, -1, false, false},
        // Without an adapter a pack can only be discharging; a trickle gives no estimate.
        {"Unknown", "9000", false, {}, -9, -1, false, false},
        {"Full", "9000", false, {}, 0, -1, false, false}, // a full pack draws nothing, whatever the gauge says
        {"Full", "-1500000", true, {}, 0, -1, false, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.status) + " " + row.extra.toStdString());
        QByteArray battery = kChargeBattery;
        battery.replace("Discharging", row.status)
            .replace("CURRENT_NOW=850000", QByteArray("CURRENT_NOW=") + row.current);
        const QVariantMap map = snapshotOf(battery + row.extra, {supply(u"AC"_s, adapter("Mains", row.plugged))});
        EXPECT_EQ(map.value(u"InstantAmperage"_s), row.amperage);
        EXPECT_EQ(map.value(u"TimeRemaining"_s, qint64(-1)), row.timeRemaining);
        EXPECT_EQ(map.value(u"IsCharging"_s), row.charging);
        EXPECT_EQ(map.value(u"ExternalChargeCapable"_s), row.chargeCapable);
    }
}

TEST(SysfsSnapshot, LeavesOutGarbageAndAbsurdValues)
{
    const QVariantMap map = snapshotOf(
        "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_VOLTAGE_NOW=12000000\n"
        "POWER_SUPPLY_CURRENT_NOW=30000000\n" // 360 W
        "POWER_SUPPLY_CHARGE_NOW=-5\nPOWER_SUPPLY_CHARGE_FULL=lots\nPOWER_SUPPLY_CHARGE_FULL_DESIGN=\n"
        "POWER_SUPPLY_CYCLE_COUNT=12x\nPOWER_SUPPLY_TEMP=-3000\nPOWER_SUPPLY_MODEL_NAME=   \n"
        "POWER_SUPPLY_MANUFACTURE_YEAR=2010\nPOWER_SUPPLY_MANUFACTURE_MONTH=13\nPOWER_SUPPLY_MANUFACTURE_DAY=15\n");
    for (const char *key : {"InstantAmperage", "Amperage", "CurrentCapacity", "MaxCapacity", "DesignCapacity",
                            "CycleCount", "Temperature", "TimeRemaining", "DeviceName", "ManufactureDate"})
        EXPECT_FALSE(map.contains(QLatin1String(key))) << key;
    EXPECT_EQ(map.value(u"Voltage"_s), qint64(12000));
    EXPECT_FALSE(snapshotOf("POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_POWER_NOW=400000000\n"
                            "POWER_SUPPLY_VOLTAGE_NOW=12000000\n")
                     .contains(u"InstantAmperage"_s));
}

TEST(SysfsSnapshot, DerivesOnlyValuesABatteryCanHave)
{
    const QByteArray lowVoltage = kEnergyBattery + "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=\nPOWER_SUPPLY_VOLTAGE_NOW=1\n";
    const struct {
        QByteArray battery; // later lines override earlier ones
        const char *key;
        QVariant expected; // invalid: left out
    } rows[] = {
        {kChargeBattery + "POWER_SUPPLY_CYCLE_COUNT=9223372036854775807\n", "CycleCount", {}},
        {kChargeBattery + "POWER_SUPPLY_TIME_TO_EMPTY_NOW=9223372036854775807\n", "TimeRemaining", qint64(219)},
        {kChargeBattery + "POWER_SUPPLY_CURRENT_NOW=10000\nPOWER_SUPPLY_CHARGE_NOW=999000000\n", "TimeRemaining", {}},
        {lowVoltage, "CurrentCapacity", {}},
        {lowVoltage, "InstantAmperage", {}},
        {kChargeBattery + "POWER_SUPPLY_MODEL_NAME=" + QByteArray(257, 'x') + "\n", "DeviceName", {}},
        {kChargeBattery + "POWER_SUPPLY_MODEL_NAME=5B\x1b[2J\t10\x7f\r\n", "DeviceName", u"5B[2J10"_s},
        // Only a percentage of the full charge: 2300 mAh at 850 mA; half of 4442 mAh.
        {QByteArray(kChargeBattery).replace("CHARGE_NOW=3100000", "CAPACITY=50"), "TimeRemaining", qint64(162)},
        {QByteArray(kEnergyBattery).replace("ENERGY_NOW=25650000", "CAPACITY=50"), "CurrentCapacity", qint64(2221)},
    };
    for (const auto &row : rows)
        EXPECT_EQ(snapshotOf(row.battery).value(QLatin1String(row.key)), row.expected)
            << row.battery.right(60).toStdString();
}

TEST(SysfsSnapshot, ChoosesTheSystemBatteryAndAdapters)
{
    const QList<PowerSupply> supplies{
        supply(u"AAA-mouse"_s, "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n"
                               "POWER_SUPPLY_STATUS=Charging\nPOWER_SUPPLY_CHARGE_NOW=100\n"),
        supply(u"AC"_s, adapter("Mains", 0)),
        supply(u"BAT0"_s, "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=0\n"),
        supply(u"BAT1"_s, kChargeBattery),
        supply(u"dock"_s, adapter("USB", 1, "Device")),
    };
    QVariantMap map = SysfsSnapshot::snapshot(supplies);
    EXPECT_EQ(map.value(u"PowerSupplyName"_s), u"BAT1"_s);
    EXPECT_EQ(map.value(u"ExternalConnected"_s), false);
    for (const char *type : {"USB", "USB_C", "Mains"}) {
        map = SysfsSnapshot::snapshot(supplies + QList<PowerSupply>{supply(u"usb"_s, adapter(type, 1))});
        EXPECT_EQ(map.value(u"ExternalConnected"_s), true) << type;
    }

    // An absent pack, or none, leaves only the adapter state.
    const QList<PowerSupply> absent{supply(u"AC"_s, adapter("Mains", 1)),
                                    supply(u"BAT0"_s, "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=0\n"
                                                      "POWER_SUPPLY_STATUS=Not charging\n")};
    const QVariantMap adapterOnly{{u"BatteryInstalled"_s, false},
                                  {u"ExternalConnected"_s, true},
                                  {u"ExternalChargeCapable"_s, true},
                                  {u"IsCharging"_s, false},
                                  {u"FullyCharged"_s, false}};
    EXPECT_EQ(SysfsSnapshot::snapshot(absent), adapterOnly);
    EXPECT_EQ(SysfsSnapshot::snapshot({absent.first()}), adapterOnly);
}

TEST(SysfsSnapshot, ModelCodeSkipsPlaceholdersAndKeepsToTheServersAlphabet)
{
    EXPECT_EQ(SysfsSnapshot::modelCode(" MacBookPro11,1\n", "Pi\0junk"), u"MacBookPro11,1"_s);
    EXPECT_EQ(SysfsSnapshot::modelCode("To Be Filled By O.E.M.\n", QByteArray("Raspberry Pi 4\0x", 16)),
              u"Raspberry_Pi_4"_s);
    EXPECT_EQ(SysfsSnapshot::modelCode("Default string", "Board"), u"Board"_s);
    EXPECT_TRUE(SysfsSnapshot::modelCode(" \n", "").isNull());
    EXPECT_TRUE(SysfsSnapshot::modelCode("«»", "").isNull());
    EXPECT_EQ(SysfsSnapshot::modelCode("Mac\x1b[0mBook Pro (Café)\n", ""), u"Mac_0mBook_Pro_Caf"_s);
    EXPECT_EQ(SysfsSnapshot::modelCode("HP EliteBook 840 G8 Notebook PC 14", ""), u"HP_EliteBook_840_G8_Notebook_PC"_s);
}

TEST(SysfsSnapshot, PacksManufactureDates)
{
    EXPECT_EQ(ManufactureDate::pack(2107, 12, 31), 0xFF9F);
    EXPECT_FALSE(ManufactureDate::pack(1979, 12, 31));
    EXPECT_FALSE(ManufactureDate::pack(2108, 1, 1));
    EXPECT_FALSE(ManufactureDate::pack(2020, 2, 0));
}

// The reader on a fake sysfs tree of its own.
class SysfsTree : public ::testing::Test {
protected:
    void writeSupply(const QString &name, const QByteArray &uevent)
    {
        writeTextFile(root(), u"class/power_supply/%1/uevent"_s.arg(name), QString::fromLatin1(uevent));
    }
    void removeSupply(const QString &name) { QDir(root() + u"/class/power_supply/"_s + name).removeRecursively(); }
    QString root() const { return _dir.path(); }

private:
    QTemporaryDir _dir;
    ScopedEnv _root{"CELLWISE_SYSFS_ROOT", _dir.path().toUtf8()};
};

TEST_F(SysfsTree, ReadsTheBatteryAndFollowsItsChanges)
{
    writeSupply(u"AC"_s, "POWER_SUPPLY_ONLINE=1\n"); // type only in its own file, as before Linux 5.8
    writeTextFile(root(), u"class/power_supply/AC/type"_s, u"Mains\n"_s);
    writeSupply(u"hid-mouse-battery"_s, "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n");
    SysfsBatteryRegistry registry;
    EXPECT_FALSE(registry.hasBatteryEntry()) << "a mouse's battery is not the machine's";
    EXPECT_FALSE(registry.copyBatteryProperties());

    writeSupply(u"BAT0"_s, kChargeBattery);
    EXPECT_TRUE(registry.hasBatteryEntry());
    std::optional<QVariantMap> map = registry.copyBatteryProperties();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value(u"CurrentCapacity"_s), qint64(3100));
    EXPECT_EQ(map->value(u"ExternalConnected"_s), true);

    // The firmware switches to energy reporting, and the temperature sensor goes away.
    writeSupply(u"BAT0"_s, kEnergyBattery);
    map = registry.copyBatteryProperties();
    EXPECT_EQ(map->value(u"CurrentCapacity"_s), qint64(2221));
    EXPECT_FALSE(map->contains(u"Temperature"_s));

    // A pack that vanishes, or whose uevent cannot be read, is a removed battery, not a failed read.
    removeSupply(u"BAT0"_s);
    map = registry.copyBatteryProperties();
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value(u"BatteryInstalled"_s), false);
    EXPECT_EQ(map->value(u"ExternalConnected"_s), true);
    EXPECT_TRUE(registry.hasBatteryEntry());
    writeSupply(u"BAT0"_s, kChargeBattery);
    EXPECT_EQ(registry.copyBatteryProperties()->value(u"BatteryInstalled"_s), true);
    const QString uevent = root() + u"/class/power_supply/BAT0/uevent"_s;
    const std::function<void()> unreadable[] = {
        [&] { QDir().mkpath(uevent); },
        [&] { ASSERT_EQ(mkfifo(qPrintable(uevent), 0600), 0); },   // would block the tick for good
        [&] { ASSERT_TRUE(QFile::link(u"/dev/zero"_s, uevent)); }, // would read until memory runs out
        [&] { writeSupply(u"BAT0"_s, kChargeBattery + QByteArray(64 * 1024, '\n')); },
    };
    for (const auto &makeUnreadable : unreadable) {
        removeSupply(u"BAT0"_s);
        QDir().mkpath(root() + u"/class/power_supply/BAT0"_s);
        makeUnreadable();
        EXPECT_EQ(registry.copyBatteryProperties()->value(u"BatteryInstalled"_s), false);
    }
}

TEST_F(SysfsTree, ModelCodeFromDmiElseDeviceTree)
{
    SysfsBatteryRegistry registry;
    EXPECT_TRUE(registry.modelCode().isNull());
    writeTextFile(root(), u"firmware/devicetree/base/model"_s, u"Pine64 Pinebook Pro"_s);
    writeTextFile(root(), u"class/dmi/id/product_name"_s, u"System Product Name\n"_s);
    EXPECT_EQ(registry.modelCode(), u"Pine64_Pinebook_Pro"_s);
    writeTextFile(root(), u"class/dmi/id/product_name"_s, u"MacBookPro11,1\n"_s);
    EXPECT_EQ(registry.modelCode(), u"MacBookPro11,1"_s);
}
