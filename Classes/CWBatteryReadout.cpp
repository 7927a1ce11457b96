#include "CWBatteryReadout.h"

#include "BatteryKeys.h"
#include "CWBatteryMonitor.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const QString kMissing = QStringLiteral("---");

// Times above this are the gauge saying it has no estimate.
constexpr double kMaxMinutes = 360000;

std::optional<qint64> integer(const QVariantMap &snapshot, const QString &key)
{
    const QVariant value = snapshot.value(key);
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return value.isValid() && ok ? std::optional<qint64>(number) : std::nullopt;
}

QString formatted(std::optional<qint64> value, const char *format)
{
    return value ? QString::asprintf(format, static_cast<int>(*value)) : kMissing;
}

QString mark(const QVariantMap &snapshot, const QString &key)
{
    return snapshot.value(key).toBool() ? QStringLiteral("✔") : QStringLiteral("✘");
}

QColor blend(const QColor &from, const QColor &to, double t)
{
    return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
}

struct TimeLine {
    QString title;
    QString value;
};

TimeLine timeLine(const QVariantMap &snapshot)
{
    const bool charging = snapshot.value(BatteryKey::IsCharging).toBool();
    if (!charging && snapshot.value(BatteryKey::ExternalConnected).toBool())
        return {QStringLiteral("Time remaining"), QStringLiteral("n/a")};
    const QVariant minutes = snapshot.value(BatteryKey::TimeRemaining);
    const bool known = minutes.isValid() && minutes.toDouble() <= kMaxMinutes;
    return {charging ? QStringLiteral("Time until full") : QStringLiteral("Time until empty"),
            known ? CWBatteryMonitor::minutesToString(static_cast<qint64>(minutes.toDouble())) : kMissing};
}

} // namespace

bool CWBatteryReadout::isInstalled(const QVariant &battInfo)
{
    return battInfo.toMap().value(BatteryKey::BatteryInstalled).toBool();
}

double CWBatteryReadout::charge(const QVariantMap &snapshot)
{
    const std::optional<qint64> current = integer(snapshot, BatteryKey::CurrentCapacity);
    const std::optional<qint64> max = integer(snapshot, BatteryKey::MaxCapacity);
    if (!current || !max || *max <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(*current) / static_cast<double>(*max), 0.0, 1.0);
}

QString CWBatteryReadout::percentText(const QVariantMap &snapshot)
{
    const bool known =
        integer(snapshot, BatteryKey::CurrentCapacity) && integer(snapshot, BatteryKey::MaxCapacity).value_or(0) > 0;
    return known ? QString::asprintf("%0.1f%%", charge(snapshot) * 100) : kMissing;
}

QString CWBatteryReadout::healthRating(const QVariantMap &snapshot)
{
    const std::optional<qint64> max = integer(snapshot, BatteryKey::MaxCapacity);
    const std::optional<qint64> design = integer(snapshot, BatteryKey::DesignCapacity);
    if (!max || !design || *design <= 0)
        return QStringLiteral("—");
    const double ratio = static_cast<double>(*max) / static_cast<double>(*design);
    if (ratio > 0.95)
        return QStringLiteral("★★★★★");
    if (ratio > 0.8)
        return QStringLiteral("★★★★☆");
    if (ratio > 0.6)
        return QStringLiteral("★★★☆☆");
    if (ratio > 0.4)
        return QStringLiteral("★★☆☆☆");
    return QStringLiteral("★☆☆☆☆");
}

QString CWBatteryReadout::temperatureText(const QVariantMap &snapshot, qint64 temperatureUnit)
{
    const std::optional<qint64> deciKelvin = integer(snapshot, BatteryKey::Temperature);
    if (!deciKelvin)
        return kMissing;
    const double celsius = static_cast<double>(*deciKelvin) / 10 - 273.15;
    switch (temperatureUnit) {
    case 1:
        return QString::asprintf("%0.1f° C", celsius);
    case 2:
        return QString::asprintf("%0.1f° F", celsius * 1.8 + 32);
    case 3:
        return QString::asprintf("%0.1f K", celsius + 273.15);
    default:
        return kMissing;
    }
}

QColor CWBatteryReadout::liquidColor(double charge, bool cell)
{
    static const QColor red = QColor::fromRgbF(0.8f, 0.0f, 0.0f);
    static const QColor amber = QColor::fromRgbF(0.7f, 0.65f, 0.0f);
    static const QColor green = QColor::fromRgbF(0.0f, 0.72f, 0.0f);
    if (charge <= 0.5)
        return cell ? blend(amber, green, 2 * charge) : blend(red, amber, 2 * charge);
    return cell ? blend(green, amber, 2 * (charge - 0.5)) : blend(amber, green, 2 * (charge - 0.5));
}

QList<double> CWBatteryReadout::cellVolts(const QVariantMap &snapshot, bool *exceeded)
{
    QList<double> volts;
    bool more = false;
    for (const QVariant &milliVolts : snapshot.value(BatteryKey::CellVoltage).toList()) {
        const double value = milliVolts.toDouble();
        if (value == 0)
            continue;
        if (volts.size() == kMaxCells) {
            more = true;
            break;
        }
        volts.append(value / 1000);
    }
    if (exceeded)
        *exceeded = more;
    return volts;
}

double CWBatteryReadout::cellFraction(double volts, double nominalPackVolts, qsizetype cellCount)
{
    const double perCell = nominalPackVolts / static_cast<double>(cellCount);
    const double low = 0.8 * perCell;
    const double span = 1.2 * perCell - low;
    return std::clamp((volts - low) / span, 0.0, 1.0);
}

CWBatteryReadout::CellRow CWBatteryReadout::cellRow(qsizetype cellCount, double width, double bandHeight)
{
    const double n = static_cast<double>(cellCount);
    const double fullSide = bandHeight / 3;
    if (0.8 * width / fullSide > n)
        return {fullSide, (0.8 * width - n * fullSide) / 2 + 0.1 * width};
    return {0.8 * width / n, 0.1 * width};
}

CWBatteryReadout::Block CWBatteryReadout::lowerBlock(const QVariantMap &snapshot, qint64 temperatureUnit)
{
    const std::optional<qint64> milliVolts = integer(snapshot, BatteryKey::Voltage);
    const std::optional<qint64> milliAmps = integer(snapshot, BatteryKey::InstantAmperage);
    const TimeLine time = timeLine(snapshot);
    return {{QStringLiteral("Voltage"), QStringLiteral("Amperage"), QStringLiteral("Temperature"), time.title},
            {milliVolts ? QString::asprintf("%0.2f V", static_cast<double>(*milliVolts) / 1000) : kMissing,
             milliAmps ? QString::asprintf("%0.0f mA", static_cast<double>(*milliAmps)) : kMissing,
             temperatureText(snapshot, temperatureUnit), time.value}};
}

CWBatteryReadout::Block CWBatteryReadout::upperBlock(const QVariantMap &snapshot)
{
    const std::optional<qint64> current = integer(snapshot, BatteryKey::CurrentCapacity);
    const std::optional<qint64> max = integer(snapshot, BatteryKey::MaxCapacity);
    const std::optional<qint64> design = integer(snapshot, BatteryKey::DesignCapacity);
    const QString loss = max && design ? QString::asprintf("%i mAh", static_cast<int>(*design - *max)) : kMissing;
    const std::optional<qint64> cycles = integer(snapshot, BatteryKey::CycleCount);
    const qint64 designCycles = integer(snapshot, BatteryKey::DesignCycleCount9C).value_or(0);
    const QString designCyclesText = designCycles == 0 ? QStringLiteral("?") : QString::number(designCycles);
    return {{QStringLiteral("Installed"), QStringLiteral("Has Adapter"), QStringLiteral("Charging"),
             QStringLiteral("Fully Charged"), QStringLiteral("Current Capacity"), QStringLiteral("Full Capacity"),
             QStringLiteral("Design Capacity"), QStringLiteral("Capacity Loss"), QStringLiteral("Cycles / Max"),
             QStringLiteral("Overall Health")},
            {mark(snapshot, BatteryKey::BatteryInstalled), mark(snapshot, BatteryKey::ExternalConnected),
             mark(snapshot, BatteryKey::IsCharging), mark(snapshot, BatteryKey::FullyCharged),
             formatted(current, "%i mAh"), formatted(max, "%i mAh"), formatted(design, "%i mAh"), loss,
             QStringLiteral("%1 / %2").arg(cycles ? QString::number(*cycles) : kMissing, designCyclesText),
             healthRating(snapshot)}};
}
