#pragma once

#include "BatteryRegistry.h"
#include "SysfsSnapshot.h"

// Reads the first system battery under $CELLWISE_SYSFS_ROOT/class/power_supply (root /sys by
// default) and maps it to registry keys and units.
class SysfsBatteryRegistry : public BatteryRegistry {
public:
    SysfsBatteryRegistry();
    std::optional<QVariantMap> copyBatteryProperties() override;
    bool hasBatteryEntry() override;
    QString modelCode() override;

private:
    QList<PowerSupply> _readSupplies() const;
    std::optional<QByteArray> _readFile(const QString &relativePath) const;

    QString _root;
    // Once a battery has been seen, its absence is a removed pack, not a machine without one.
    bool _batterySeen = false;
};
