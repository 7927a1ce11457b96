#pragma once

#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

// The machine's battery entry, the source of every snapshot. Real machines are read through sysfs;
// machines without a battery can run on the simulated one; tests install fakes.
class BatteryRegistry {
public:
    virtual ~BatteryRegistry() = default;

    // The battery's properties keyed by registry names in registry units, or nullopt when the
    // machine has no battery entry at all.
    virtual std::optional<QVariantMap> copyBatteryProperties() = 0;
    // Whether a battery entry exists (a pack may still be absent from its bay).
    virtual bool hasBatteryEntry() = 0;
    // The machine's model identifier, or a null string when unknown.
    virtual QString modelCode() = 0;

    // The sysfs reader unless another registry was installed.
    static BatteryRegistry &current();
    static void install(std::unique_ptr<BatteryRegistry> registry);
};
