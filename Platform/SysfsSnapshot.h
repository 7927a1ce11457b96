#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariantMap>

// One entry of class/power_supply as its uevent file describes it: the line
// POWER_SUPPLY_STATUS=Charging becomes "status" -> "Charging". Values stay raw bytes until the
// mapping decides how to read them.
struct PowerSupply {
    QString name;
    QHash<QByteArray, QByteArray> values;
};

// The mapping from power-supply values to a battery snapshot in registry keys and units. No I/O:
// the reader hands in what it read, tests hand in text.
namespace SysfsSnapshot {

// The POWER_SUPPLY_* lines of a uevent text, keyed by attribute name in lower case.
QHash<QByteArray, QByteArray> parseUevent(const QByteArray &text);

// A battery or adapter of the machine itself; supplies with scope Device (a mouse, a headset)
// are neither.
bool isSystemBattery(const PowerSupply &supply);
bool isAdapter(const PowerSupply &supply);

// The first system battery that is present, else the first one at all, else null. Supplies come
// in name order, so BAT0 wins over BAT1.
const PowerSupply *systemBattery(const QList<PowerSupply> &supplies);

// The snapshot of the system battery among the supplies, or, when there is none or it is reported
// absent, a snapshot with BatteryInstalled NO and the adapter state. Values that are missing,
// unreadable or absurd leave their key out.
QVariantMap snapshot(const QList<PowerSupply> &supplies);

// The machine's model code from the DMI product name, else from the device-tree model
// (NUL-terminated), in the statistics server's alphabet; null when neither names a product.
QString modelCode(const QByteArray &productName, const QByteArray &deviceTreeModel);

} // namespace SysfsSnapshot
