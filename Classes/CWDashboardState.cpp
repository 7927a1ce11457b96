#include "CWDashboardState.h"

#include "PropertyListWriter.h"

#include <QHash>

#include <cmath>

CWDashboardState CWDashboardState::derive(const Readings &readings)
{
    CWDashboardState state;
    if (readings.isCharging)
        state.plugToBatt.speed = readings.wattage;
    state.plugToBatt.hidden = !readings.isCharging;
    if (readings.hasAdapter) {
        state.plugToComp = {kAdapterSpeed, false};
        state.battToComp.hidden = true;
    } else {
        state.battToComp = {readings.wattage, false};
        state.plugToComp.hidden = true;
    }
    // An adapter that is connected while not charging moves no power through the battery.
    if (readings.isCharging || !readings.hasAdapter)
        state.label = powerFlowLabel(readings.battUnit, readings.wattage, readings.amperage);
    state.adapterState = !readings.hasAdapter ? NotPlugged : readings.isCharging ? Charging : Plugged;
    return state;
}

QString CWDashboardState::powerFlowLabel(qint64 battUnit, double wattage, double amperage)
{
    const char *unit = battUnit == 1 ? "watts" : battUnit == 2 ? "amps" : nullptr;
    if (!unit)
        return {};
    const double value = battUnit == 1 ? wattage : amperage;
    if (value == 0.0)
        return {};
    const QString number = QString::asprintf(battUnit == 1 ? "%0.1f" : "%0.3f", std::abs(value));
    return value > 0 ? QStringLiteral("%1 %2 →").arg(number, QLatin1String(unit))
                     : QStringLiteral("← %1 %2").arg(number, QLatin1String(unit));
}

const char *CWDashboardState::adornmentName(AdapterState state)
{
    switch (state) {
    case NotPlugged:
        return "notplugged";
    case Plugged:
        return "plugged";
    case Charging:
        return "charging";
    case Unknown:
        break;
    }
    return nullptr;
}

size_t CWDashboardState::snapshotHash(const QVariant &battInfo)
{
    return qHash(PropertyListWriter::openStepText(battInfo.isNull() ? QVariant(QVariantMap()) : battInfo));
}
