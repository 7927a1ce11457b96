#pragma once

#include "BatteryRegistry.h"
#include "SysfsBatteryRegistry.h"

#include <QElapsedTimer>

// A believable 3-cell pack for machines without a battery: it discharges at about 10 W to 20 %, is
// plugged in, charges at up to 45 W tapering near full, stays full a while, is unplugged, and so on.
// Everything above the registry reads it like a real battery.
class SimulatedBattery : public BatteryRegistry {
public:
    // Seconds between two readings of the simulated gauge; nothing changes in between, as with a
    // real gauge, so a run logs a believable number of samples.
    static constexpr double kReadingInterval = 10.0;

    // The simulated clock starts at 0 on construction and runs speed times faster than wall time.
    explicit SimulatedBattery(double speed = 1.0);

    std::optional<QVariantMap> copyBatteryProperties() override;
    bool hasBatteryEntry() override;
    // The real machine's model code: the pack is simulated, the computer is not.
    QString modelCode() override;

    // The snapshot at a moment of the simulated clock; pure and cheap, for generating long logs.
    static QVariantMap snapshotAt(double simulatedSeconds);

private:
    QElapsedTimer _clock;
    double _speed;
    SysfsBatteryRegistry _machine;
};
