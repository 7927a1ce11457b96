#include "SimulatedBattery.h"

#include "BatteryKeys.h"
#include "ManufactureDate.h"

#include <QVariantList>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kNominalFullMilliAmpHours = 4600;
constexpr qint64 kDesignMilliAmpHours = 5000;
constexpr qint64 kFirstCycleCount = 312;
constexpr double kFadePerCycleMilliAmpHours = 0.5;
constexpr qint64 kDesignCycleCount = 1000;

constexpr double kPlugInFraction = 0.2;     // the user plugs in at 20 %
constexpr double kTaperFraction = 0.8;      // constant current up to here, then constant voltage
constexpr double kDischargeMilliAmps = 870; // about 10 W at 11.5 V
constexpr double kChargeMilliAmps = 3500;   // about 44 W at 12.6 V
constexpr double kChargeEndMilliAmps = 100; // the charger stops when the taper falls to this
constexpr double kFullSeconds = 1800;       // left on the adapter this long once full
constexpr double kSecondsPerHour = 3600;

constexpr double kCellOhms = 0.05; // mA times ohms gives mV
constexpr double kCellChargeLimitMilliVolts = 4200;
constexpr std::array<double, 3> kCellOffsetMilliVolts{0, -6, 4}; // a slightly unbalanced pack
constexpr double kCellNoiseMilliVolts = 2;
constexpr double kCellRelaxSeconds = 600; // cells settle below the charge limit once charging stops
// Resting cell voltage at 0 %, 10 %, ... 100 % charge.
constexpr std::array<double, 11> kRestingCellMilliVolts{3300, 3550, 3650, 3710, 3760, 3810,
                                                        3870, 3940, 4020, 4100, 4180};

constexpr double kThermalSeconds = 900;
constexpr int kAveragedReadings = 6; // Amperage averages the last minute

enum class Phase { Discharging, ConstantCurrent, ConstantVoltage, Full };
constexpr int kPhaseCount = 4;

struct PhaseSpec {
    double seconds;
    double temperatureDeciKelvin; // where the pack's temperature settles in this phase
    double loadWobble;            // relative spread of the current between readings
};

// The charger's taper: the current decays with this time constant from the constant-current level.
constexpr double kTaperSeconds = (1 - kTaperFraction) * kNominalFullMilliAmpHours / kChargeMilliAmps * kSecondsPerHour;

const std::array<PhaseSpec, kPhaseCount> &phases()
{
    static const std::array<PhaseSpec, kPhaseCount> specs{{
        {(1 - kPlugInFraction) * kNominalFullMilliAmpHours / kDischargeMilliAmps * kSecondsPerHour, 3041, 0.15},
        {(kTaperFraction - kPlugInFraction) * kNominalFullMilliAmpHours / kChargeMilliAmps * kSecondsPerHour, 3111,
         0.01},
        {kTaperSeconds * std::log(kChargeMilliAmps / kChargeEndMilliAmps), 3051, 0.01},
        {kFullSeconds, 3011, 0.0},
    }};
    return specs;
}

double cycleSeconds()
{
    static const double seconds = [] {
        double sum = 0;
        for (const PhaseSpec &phase : phases())
            sum += phase.seconds;
        return sum;
    }();
    return seconds;
}

double settledTemperature(double start, const PhaseSpec &phase, double secondsInPhase)
{
    const double decay = std::exp(-secondsInPhase / kThermalSeconds);
    return phase.temperatureDeciKelvin + (start - phase.temperatureDeciKelvin) * decay;
}

// Temperature at the start of each phase. A discharge lasts many thermal time constants, so the
// chain can start from its settled value.
const std::array<double, kPhaseCount> &phaseStartTemperatures()
{
    static const std::array<double, kPhaseCount> starts = [] {
        std::array<double, kPhaseCount> result{};
        double temperature = phases()[0].temperatureDeciKelvin;
        for (int i = 1; i <= kPhaseCount; ++i) {
            result[i % kPhaseCount] = temperature;
            temperature = settledTemperature(temperature, phases()[i % kPhaseCount], phases()[i % kPhaseCount].seconds);
        }
        return result;
    }();
    return starts;
}

// Deterministic noise in [-1, 1] for one reading and one quantity (splitmix64).
double noise(qint64 reading, int channel)
{
    quint64 z = quint64(reading) * 8 + quint64(channel) + 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return double(z >> 11) / double(1ull << 52) - 1.0;
}

double restingCellMilliVolts(double fraction)
{
    const double position = std::clamp(fraction, 0.0, 1.0) * (kRestingCellMilliVolts.size() - 1);
    const size_t below = std::min(size_t(position), kRestingCellMilliVolts.size() - 2);
    const double weight = position - double(below);
    return kRestingCellMilliVolts[below] * (1 - weight) + kRestingCellMilliVolts[below + 1] * weight;
}

// The pack at one reading, at nominal capacity.
struct PackState {
    Phase phase;
    double secondsInPhase;
    double fraction;  // charge over full capacity
    double milliAmps; // mean current into the pack, negative while discharging
    qint64 cycleCount;
};

PackState packStateAt(double seconds)
{
    const double completedCycles = std::floor(seconds / cycleSeconds());
    double inCycle = seconds - completedCycles * cycleSeconds();
    int index = 0;
    while (index < kPhaseCount - 1 && inCycle >= phases()[index].seconds)
        inCycle -= phases()[index++].seconds;

    PackState state{Phase(index), inCycle, 1.0, 0.0, 0};
    switch (state.phase) {
    case Phase::Discharging:
        state.fraction = 1 - inCycle * kDischargeMilliAmps / kSecondsPerHour / kNominalFullMilliAmpHours;
        state.milliAmps = -kDischargeMilliAmps;
        break;
    case Phase::ConstantCurrent:
        state.fraction = kPlugInFraction + inCycle * kChargeMilliAmps / kSecondsPerHour / kNominalFullMilliAmpHours;
        state.milliAmps = kChargeMilliAmps;
        break;
    case Phase::ConstantVoltage:
        state.fraction = kTaperFraction + (1 - kTaperFraction) * (1 - std::exp(-inCycle / kTaperSeconds));
        state.milliAmps = kChargeMilliAmps * std::exp(-inCycle / kTaperSeconds);
        break;
    case Phase::Full:
        break;
    }
    // A cycle is counted for every full capacity's worth of discharge.
    const double dischargedThisCycle = state.phase == Phase::Discharging ? 1 - state.fraction : 1 - kPlugInFraction;
    state.cycleCount = kFirstCycleCount + qint64((completedCycles * (1 - kPlugInFraction)) + dischargedThisCycle);
    return state;
}

double cellMilliVolts(const PackState &state)
{
    if (state.phase == Phase::Full) {
        const double rest = restingCellMilliVolts(1.0);
        return rest + (kCellChargeLimitMilliVolts - rest) * std::exp(-state.secondsInPhase / kCellRelaxSeconds);
    }
    return std::min(restingCellMilliVolts(state.fraction) + state.milliAmps * kCellOhms, kCellChargeLimitMilliVolts);
}

// The relative deviation of the current from its mean at one reading.
double loadWobble(const PhaseSpec &phase, qint64 reading)
{
    return phase.loadWobble * noise(reading, 0);
}

double averageLoadWobble(const PhaseSpec &phase, qint64 reading)
{
    double sum = 0;
    for (int back = 0; back < kAveragedReadings; ++back)
        sum += loadWobble(phase, reading - back);
    return sum / kAveragedReadings;
}

// Minutes to empty at the averaged current; to full along the charger's known profile.
std::optional<qint64> minutesRemaining(const PackState &state, qint64 currentCapacity, qint64 amperage)
{
    const double taperSeconds = phases()[int(Phase::ConstantVoltage)].seconds;
    switch (state.phase) {
    case Phase::Discharging:
        return qRound64(double(currentCapacity) * 60 / std::abs(double(amperage)));
    case Phase::ConstantCurrent:
        return qRound64((phases()[int(Phase::ConstantCurrent)].seconds - state.secondsInPhase + taperSeconds) / 60);
    case Phase::ConstantVoltage:
        return qRound64((taperSeconds - state.secondsInPhase) / 60);
    case Phase::Full:
        break;
    }
    return std::nullopt;
}

qint64 packedManufactureDate()
{
    static const qint64 code = ManufactureDate::pack(2021, 3, 17).value_or(0);
    return code;
}

} // namespace

SimulatedBattery::SimulatedBattery(double speed)
    : _speed(speed > 0 ? speed : 1.0)
{
    _clock.start();
}

std::optional<QVariantMap> SimulatedBattery::copyBatteryProperties()
{
    return snapshotAt(double(_clock.nsecsElapsed()) / 1e9 * _speed);
}

bool SimulatedBattery::hasBatteryEntry()
{
    return true;
}

QString SimulatedBattery::modelCode()
{
    return _machine.modelCode();
}

QVariantMap SimulatedBattery::snapshotAt(double simulatedSeconds)
{
    const qint64 reading = qint64(std::floor(std::max(0.0, simulatedSeconds) / kReadingInterval));
    const PackState state = packStateAt(double(reading) * kReadingInterval);
    const PhaseSpec &phase = phases()[int(state.phase)];

    // Capacity fades with use; currents scale with it so that a cycle keeps its length.
    const qint64 maxCapacity =
        qRound64(kNominalFullMilliAmpHours - kFadePerCycleMilliAmpHours * double(state.cycleCount - kFirstCycleCount));
    const double scale = double(maxCapacity) / kNominalFullMilliAmpHours;
    const qint64 currentCapacity = qRound64(state.fraction * double(maxCapacity));
    const qint64 instantAmperage = qRound64(state.milliAmps * scale * (1 + loadWobble(phase, reading)));
    const qint64 amperage = qRound64(state.milliAmps * scale * (1 + averageLoadWobble(phase, reading)));

    QVariantList cells;
    qint64 voltage = 0;
    const double cell = cellMilliVolts(state);
    for (size_t i = 0; i < kCellOffsetMilliVolts.size(); ++i) {
        const qint64 milliVolts =
            qRound64(cell + kCellOffsetMilliVolts[i] + kCellNoiseMilliVolts * noise(reading, 1 + int(i)));
        cells.append(milliVolts);
        voltage += milliVolts;
    }

    const bool plugged = state.phase != Phase::Discharging;
    const bool charging = state.phase == Phase::ConstantCurrent || state.phase == Phase::ConstantVoltage;
    QVariantMap map{
        {BatteryKey::BatteryInstalled, true},
        {BatteryKey::ExternalConnected, plugged},
        {BatteryKey::ExternalChargeCapable, plugged},
        {BatteryKey::IsCharging, charging},
        {BatteryKey::FullyCharged, state.phase == Phase::Full},
        {BatteryKey::CurrentCapacity, currentCapacity},
        {BatteryKey::MaxCapacity, maxCapacity},
        {BatteryKey::DesignCapacity, kDesignMilliAmpHours},
        {BatteryKey::CycleCount, state.cycleCount},
        {BatteryKey::DesignCycleCount9C, kDesignCycleCount},
        {BatteryKey::Voltage, voltage},
        {BatteryKey::CellVoltage, cells},
        {BatteryKey::InstantAmperage, instantAmperage},
        {BatteryKey::Amperage, amperage},
        {BatteryKey::Temperature,
         qRound64(settledTemperature(phaseStartTemperatures()[int(state.phase)], phase, state.secondsInPhase))},
        {BatteryKey::ManufactureDate, packedManufactureDate()},
        {BatteryKey::BatterySerialNumber, QStringLiteral("CWS2103A0312")},
        {BatteryKey::DeviceName, QStringLiteral("SIM-3S1P-5000")},
        {BatteryKey::Manufacturer, QStringLiteral("Cellwise Simulation")},
    };
    if (const std::optional<qint64> minutes = minutesRemaining(state, currentCapacity, amperage))
        map.insert(BatteryKey::TimeRemaining, *minutes);
    return map;
}
