#include "SysfsSnapshot.h"

#include "BatteryKeys.h"
#include "ManufactureDate.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace SysfsSnapshot {
namespace {

using Values = QHash<QByteArray, QByteArray>;

constexpr qint64 kMaxRateMicroWatts = 300'000'000;          // no laptop load or charger comes near 300 W
constexpr qint64 kMaxMicroVolts = 100'000'000;              // far above any laptop pack or USB-PD supply
constexpr qint64 kMaxCapacityMicroAmpHours = 1'000'000'000; // 1000 Ah, far above any laptop pack
constexpr qint64 kMaxCycles = 100'000;
constexpr qint64 kMaxMinutes = 100 * 24 * 60; // longer estimates are a stalled gauge, not a forecast
constexpr qsizetype kMaxTextBytes = 256;      // far above any real name or serial number
// One Li-ion cell at cut-off: the lowest voltage a current can be judged by when none is reported.
constexpr qint64 kLowestPackMicroVolts = 3'000'000;
constexpr qint64 kMaxMicroAmps = kMaxRateMicroWatts / (kLowestPackMicroVolts / 1'000'000);
constexpr qint64 kMinEstimateMilliAmps = 10; // below this, remaining times are noise
constexpr qint64 kZeroCelsiusInDeciKelvin = 2731;
constexpr qint64 kMinDeciCelsius = -500;
constexpr qint64 kMaxDeciCelsius = 1500;
constexpr qint64 kAny = std::numeric_limits<qint64>::max();

// A decimal value within [min, max]; nullopt when missing, empty, non-numeric or out of range.
std::optional<qint64> integer(const Values &values, const QByteArray &key, qint64 min, qint64 max)
{
    const auto it = values.constFind(key);
    if (it == values.cend())
        return std::nullopt;
    bool ok = false;
    const qint64 value = it->trimmed().toLongLong(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

// Text with control characters removed (they would reach terminals and break log lines) and
// surrounding blanks trimmed; empty when longer than any real name.
QString cleanText(QString text)
{
    text.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    text = text.trimmed();
    return text.toUtf8().size() <= kMaxTextBytes ? text : QString();
}

// A driver's text with invalid UTF-8 replaced, cleaned; empty when missing.
QString text(const Values &values, const char *key)
{
    return cleanText(QString::fromUtf8(values.value(key)));
}

qint64 roundedQuotient(double dividend, double divisor)
{
    return std::llround(dividend / divisor);
}

std::optional<qint64> scaled(std::optional<qint64> value, qint64 divisor)
{
    if (!value)
        return std::nullopt;
    return roundedQuotient(double(*value), double(divisor));
}

// The value when it is at most max; a larger one cannot be real and is left out, not clamped.
template <typename T>
std::optional<T> atMost(T value, T max)
{
    return value <= max ? std::optional<T>(value) : std::nullopt;
}

void insert(QVariantMap &map, const QString &key, std::optional<qint64> value)
{
    if (value)
        map.insert(key, *value);
}

void insert(QVariantMap &map, const QString &key, const QString &value)
{
    if (!value.isEmpty())
        map.insert(key, value);
}

bool hasSystemScope(const PowerSupply &supply)
{
    return supply.values.value("scope").trimmed() != "Device";
}

QByteArray typeOf(const PowerSupply &supply)
{
    return supply.values.value("type").trimmed();
}

// Drivers report a missing pack with present=0; drivers without the attribute only list present packs.
bool isPresent(const PowerSupply &supply)
{
    return integer(supply.values, "present", 0, kAny).value_or(1) != 0;
}

bool adapterConnected(const QList<PowerSupply> &supplies)
{
    return std::any_of(supplies.cbegin(), supplies.cend(), [](const PowerSupply &supply) {
        return isAdapter(supply) && integer(supply.values, "online", 1, kAny);
    });
}

// Drivers disagree on the sign of the current, so the direction comes from the status. Without an
// adapter a pack that is not charging can only be discharging, whatever its firmware says ("Unknown"
// lingers on some after unplugging); a full one neither charges nor discharges.
bool isDischarging(const QByteArray &status, bool adapter)
{
    return status == "Discharging" || (!adapter && status != "Charging" && status != "Full");
}

// One pack's readings. Batteries report either charge (charge_*, µAh, with currents in µA) or
// energy (energy_*, µWh, with power in µW); firmware may switch between the two, so the family is
// decided on every read. Some report the remaining charge only as a percentage (capacity).
class Battery {
public:
    explicit Battery(const Values &values)
        : _values(values)
        , _energyFamily(!values.contains("charge_now") && !values.contains("charge_full"))
        , _microVolts(integer(values, "voltage_now", 1, kMaxMicroVolts))
        , _designMicroVolts(designVoltage(values, _microVolts))
    {
    }

    std::optional<qint64> microVolts() const { return _microVolts; }

    // Full or design capacity in mAh. Energy is converted with one constant voltage so that the
    // ratios of the capacities stay those of the energies.
    std::optional<qint64> milliAmpHours(const char *suffix) const { return milli(_chargeMicroAmpHours(suffix)); }

    std::optional<qint64> remainingMilliAmpHours() const { return milli(_remainingMicroAmpHours()); }

    // Magnitude of the current in µA: current_<suffix>, else power_<suffix> over the voltage.
    std::optional<qint64> microAmps(const char *suffix) const
    {
        if (const auto current = _reported("current_", suffix, kMaxMicroAmps); current && _isPlausible(*current))
            return std::abs(*current);
        const auto power = _reported("power_", suffix, kMaxRateMicroWatts);
        if (!power || !_microVolts)
            return std::nullopt;
        return atMost(roundedQuotient(std::abs(double(*power)) * 1e6, double(*_microVolts)), kMaxMicroAmps);
    }

    // Estimates at the present rate; nullopt without the readings for one.
    std::optional<qint64> minutesToEmpty() const
    {
        const std::optional<double> now = _remainingMicroAmpHours();
        return now ? _minutesToMove(*now) : std::nullopt;
    }

    std::optional<qint64> minutesToFull() const
    {
        const std::optional<double> now = _remainingMicroAmpHours();
        const std::optional<double> full = _chargeMicroAmpHours("full");
        return now && full ? _minutesToMove(std::max(0.0, *full - *now)) : std::nullopt;
    }

private:
    static std::optional<qint64> milli(std::optional<double> micro)
    {
        return micro ? std::optional<qint64>(roundedQuotient(*micro, 1000)) : std::nullopt;
    }

    static std::optional<qint64> designVoltage(const Values &values, std::optional<qint64> microVolts)
    {
        for (const char *key : {"voltage_min_design", "voltage_max_design"}) {
            if (const auto voltage = integer(values, key, 1, kMaxMicroVolts))
                return voltage;
        }
        return microVolts;
    }

    std::optional<qint64> _reported(const char *prefix, const char *suffix, qint64 limit) const
    {
        return integer(_values, QByteArray(prefix) + suffix, -limit, limit);
    }

    // A current is judged by the power it stands for at the pack's voltage.
    bool _isPlausible(qint64 microAmps) const
    {
        const qint64 microVolts = _microVolts.value_or(_designMicroVolts.value_or(kLowestPackMicroVolts));
        return std::abs(double(microAmps)) * double(microVolts) / 1e6 <= kMaxRateMicroWatts;
    }

    std::optional<qint64> _minutesToMove(double microAmpHours) const
    {
        const std::optional<double> rate = _chargeRateMicroAmps();
        if (!rate || *rate <= 0)
            return std::nullopt;
        return atMost(roundedQuotient(microAmpHours * 60, *rate), kMaxMinutes);
    }

    // Charge in µAh; energy in µWh over the design voltage.
    std::optional<double> _chargeMicroAmpHours(const char *suffix) const
    {
        const auto value = integer(_values, QByteArray(_energyFamily ? "energy_" : "charge_") + suffix, 0, kAny);
        if (!value || (_energyFamily && !_designMicroVolts))
            return std::nullopt;
        const double charge = _energyFamily ? double(*value) * 1e6 / double(*_designMicroVolts) : double(*value);
        // Bounded after the conversion: a voltage near zero would make any energy an absurd charge.
        return atMost(charge, double(kMaxCapacityMicroAmpHours));
    }

    // The charge reported, else the percentage of the full charge.
    std::optional<double> _remainingMicroAmpHours() const
    {
        if (const auto now = _chargeMicroAmpHours("now"))
            return now;
        const auto percent = integer(_values, "capacity", 0, 100);
        const auto full = _chargeMicroAmpHours("full");
        if (!percent || !full)
            return std::nullopt;
        return *full * double(*percent) / 100;
    }

    // The rate the charge moves at, in the units of _chargeMicroAmpHours per hour.
    std::optional<double> _chargeRateMicroAmps() const
    {
        if (!_energyFamily) {
            const auto current = microAmps("now");
            return current ? std::optional<double>(*current) : std::nullopt;
        }
        if (!_designMicroVolts)
            return std::nullopt;
        std::optional<double> microWatts;
        if (const auto power = _reported("power_", "now", kMaxRateMicroWatts))
            microWatts = std::abs(double(*power));
        else if (const auto current = microAmps("now"); current && _microVolts)
            microWatts = double(*current) * double(*_microVolts) / 1e6;
        if (!microWatts)
            return std::nullopt;
        return *microWatts * 1e6 / double(*_designMicroVolts);
    }

    const Values &_values;
    bool _energyFamily;
    std::optional<qint64> _microVolts;
    std::optional<qint64> _designMicroVolts; // converts energy to charge
};

std::optional<qint64> minutes(const Values &values, const char *key)
{
    return scaled(integer(values, key, 0, kMaxMinutes * 60), 60);
}

// Minutes to empty while discharging, to full while charging: the driver's estimate when it gives
// one, else ours from charge and current.
std::optional<qint64> timeRemaining(const Battery &battery, const Values &values, const QByteArray &status,
                                    bool discharging, std::optional<qint64> milliAmps)
{
    const bool charging = status == "Charging";
    if (!discharging && !charging)
        return std::nullopt;
    if (const auto reported = minutes(values, discharging ? "time_to_empty_now" : "time_to_full_now"))
        return reported;
    if (!milliAmps || std::abs(*milliAmps) < kMinEstimateMilliAmps)
        return std::nullopt;
    return discharging ? battery.minutesToEmpty() : battery.minutesToFull();
}

std::optional<qint64> manufactureDate(const Values &values)
{
    const auto year = integer(values, "manufacture_year", 0, kAny);
    const auto month = integer(values, "manufacture_month", 0, kAny);
    const auto day = integer(values, "manufacture_day", 0, kAny);
    if (!year || !month || !day)
        return std::nullopt;
    return ManufactureDate::pack(*year, *month, *day);
}

void insertBatteryValues(QVariantMap &map, const PowerSupply &supply, const QByteArray &status, bool discharging)
{
    const Values &values = supply.values;
    const Battery battery(values);
    const qint64 sign = discharging ? -1 : 1;
    // A full pack draws nothing; what its gauge reports then is offset noise.
    const auto milliAmps = [&](const char *suffix) {
        return status == "Full" ? std::optional<qint64>(0) : scaled(battery.microAmps(suffix), 1000);
    };

    insert(map, BatteryKey::Voltage, scaled(battery.microVolts(), 1000));
    const auto instant = milliAmps("now");
    if (instant)
        map.insert(BatteryKey::InstantAmperage, sign * *instant);
    if (const auto average = milliAmps("avg"); average || instant)
        map.insert(BatteryKey::Amperage, sign * (average ? *average : *instant));

    insert(map, BatteryKey::CurrentCapacity, battery.remainingMilliAmpHours());
    insert(map, BatteryKey::MaxCapacity, battery.milliAmpHours("full"));
    insert(map, BatteryKey::DesignCapacity, battery.milliAmpHours("full_design"));
    insert(map, BatteryKey::CycleCount, integer(values, "cycle_count", 0, kMaxCycles));
    if (const auto temp = integer(values, "temp", kMinDeciCelsius, kMaxDeciCelsius))
        map.insert(BatteryKey::Temperature, *temp + kZeroCelsiusInDeciKelvin);

    insert(map, BatteryKey::TimeRemaining, timeRemaining(battery, values, status, discharging, instant));
    insert(map, BatteryKey::AvgTimeToEmpty, minutes(values, "time_to_empty_avg"));
    insert(map, BatteryKey::AvgTimeToFull, minutes(values, "time_to_full_avg"));
    insert(map, BatteryKey::InstantTimeToEmpty, minutes(values, "time_to_empty_now"));

    insert(map, BatteryKey::DeviceName, text(values, "model_name"));
    insert(map, BatteryKey::Manufacturer, text(values, "manufacturer"));
    insert(map, BatteryKey::BatterySerialNumber, text(values, "serial_number"));
    insert(map, BatteryKey::ManufactureDate, manufactureDate(values));
    insert(map, BatteryKey::MaxErr, integer(values, "capacity_error_margin", 0, 100));

    // Linux facts without a registry key, shown on the Battery Data page.
    insert(map, BatteryKey::PowerSupplyName, cleanText(supply.name));
    insert(map, BatteryKey::Technology, text(values, "technology"));
    insert(map, BatteryKey::ChargeControlStartThreshold, integer(values, "charge_control_start_threshold", 0, 100));
    insert(map, BatteryKey::ChargeControlEndThreshold, integer(values, "charge_control_end_threshold", 0, 100));
}

// The statistics server knows a model by a code like "MacBookPro11,1": at most 32 characters of
// ASCII letters, digits and ",._-". A product name such as "XPS 13 9310" becomes "XPS_13_9310".
QString serverModelCode(const QString &name)
{
    constexpr qsizetype kMaxLength = 32;
    QString code;
    for (const QChar c : name) {
        if ((c.isLetterOrNumber() && c.unicode() < 128) || QStringView(u",._-").contains(c))
            code += c;
        else if (!code.isEmpty() && !code.endsWith(QLatin1Char('_')))
            code += QLatin1Char('_');
    }
    code.truncate(kMaxLength);
    while (code.endsWith(QLatin1Char('_')))
        code.chop(1);
    return code.isEmpty() ? QString() : code;
}

bool isPlaceholderProductName(const QString &name)
{
    // What board vendors leave in the DMI tables when nobody filled them in.
    static const QStringList placeholders{
        QStringLiteral("To be filled by O.E.M."),
        QStringLiteral("System Product Name"),
        QStringLiteral("Default string"),
        QStringLiteral("Not Applicable"),
        QStringLiteral("Not Specified"),
        QStringLiteral("System Name"),
        QStringLiteral("Product Name"),
        QStringLiteral("Type1ProductConfigId"),
        QStringLiteral("O.E.M."),
        QStringLiteral("OEM"),
        QStringLiteral("None"),
        QStringLiteral("Unknown"),
        QStringLiteral("Undefined"),
        QStringLiteral("INVALID"),
        QStringLiteral("All Series"),
        QStringLiteral("0123456789"),
    };
    return placeholders.contains(name, Qt::CaseInsensitive);
}

} // namespace

QHash<QByteArray, QByteArray> parseUevent(const QByteArray &text)
{
    static const QByteArray prefix("POWER_SUPPLY_");
    QHash<QByteArray, QByteArray> values;
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (!line.startsWith(prefix) || equals < 0)
            continue;
        values.insert(line.mid(prefix.size(), equals - prefix.size()).toLower(), line.mid(equals + 1));
    }
    return values;
}

bool isSystemBattery(const PowerSupply &supply)
{
    return typeOf(supply) == "Battery" && hasSystemScope(supply);
}

bool isAdapter(const PowerSupply &supply)
{
    // Older kernels name USB chargers by kind (USB_C, USB_PD, USB_DCP ...), newer ones just USB.
    const QByteArray type = typeOf(supply);
    return (type == "Mains" || type.startsWith("USB")) && hasSystemScope(supply);
}

const PowerSupply *systemBattery(const QList<PowerSupply> &supplies)
{
    const PowerSupply *first = nullptr;
    for (const PowerSupply &supply : supplies) {
        if (!isSystemBattery(supply))
            continue;
        if (isPresent(supply))
            return &supply;
        if (!first)
            first = &supply;
    }
    return first;
}

QVariantMap snapshot(const QList<PowerSupply> &supplies)
{
    const bool adapter = adapterConnected(supplies);
    const PowerSupply *battery = systemBattery(supplies);
    const bool installed = battery && isPresent(*battery);
    const QByteArray status = installed ? battery->values.value("status").trimmed() : QByteArray();
    QVariantMap map{
        {BatteryKey::BatteryInstalled, installed},
        {BatteryKey::ExternalConnected, adapter},
        {BatteryKey::ExternalChargeCapable, adapter && status != "Not charging"},
        {BatteryKey::IsCharging, status == "Charging"},
        {BatteryKey::FullyCharged, status == "Full"},
    };
    if (installed)
        insertBatteryValues(map, *battery, status, isDischarging(status, adapter));
    return map;
}

QString modelCode(const QByteArray &productName, const QByteArray &deviceTreeModel)
{
    const QString product = cleanText(QString::fromUtf8(productName));
    if (!product.isEmpty() && !isPlaceholderProductName(product))
        return serverModelCode(product);
    const qsizetype end = deviceTreeModel.indexOf('\0');
    return serverModelCode(cleanText(QString::fromUtf8(end < 0 ? deviceTreeModel : deviceTreeModel.first(end))));
}

} // namespace SysfsSnapshot
