#pragma once

#include "BatteryRegistry.h"

// Reads the first system battery under $CELLWISE_SYSFS_ROOT/class/power_supply (root /sys by
// default) and maps it to registry keys and units.
class SysfsBatteryRegistry : public BatteryRegistry {
public:
    SysfsBatteryRegistry();
    std::optional<QVariantMap> copyBatteryProperties() override;
    bool hasBatteryEntry() override;
    QString modelCode() override;

private:
    QString _root;
};
