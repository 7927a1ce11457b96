#include "CWBatteryUsage.h"

#include <QDateTime>
#include <algorithm>

namespace {

// The overlap of [from, to) with [lower, upper) as a share of [from, to).
double share(qint64 from, qint64 to, qint64 lower, qint64 upper)
{
    const qint64 overlap = std::min(to, upper) - std::max(from, lower);
    return overlap > 0 ? double(overlap) / double(to - from) : 0.0;
}

void addShare(CWBatteryUsage::Amounts &total, const CWBatteryUsage::Amounts &amounts, double part)
{
    total.batterySeconds += amounts.batterySeconds * part;
    total.adapterSeconds += amounts.adapterSeconds * part;
    total.milliAmpHours += amounts.milliAmpHours * part;
    total.wattHours += amounts.wattHours * part;
}

} // namespace

CWBatteryUsage::CWBatteryUsage(qint64 end)
    : _end(end)
{
    const QDate lastDay = QDateTime::fromSecsSinceEpoch(end).date();
    for (int i = kDays - 1; i >= 0; --i) {
        const QDate date = lastDay.addDays(-i);
        _days.push_back({date, {}});
        _dayRanges.push_back({date.startOfDay().toSecsSinceEpoch(), date.addDays(1).startOfDay().toSecsSinceEpoch()});
    }
}

void CWBatteryUsage::add(const Point &point)
{
    if (const std::optional<Point> previous = std::exchange(_previous, point))
        _addTime(*previous, point);

    if (point.charge && _lastSampleOnBattery && _lastSampleOnBattery->charge) {
        const Point &last = *_lastSampleOnBattery;
        const double drawn = double(std::max<qint64>(0, *last.charge - *point.charge));
        Amounts energy;
        energy.milliAmpHours = drawn;
        if (last.voltage && point.voltage)
            energy.wattHours = drawn * double(*last.voltage + *point.voltage) / 2 / 1e6;
        _spread(last.time, point.time, energy);
    }
    if (point.power != Power::Battery)
        _lastSampleOnBattery.reset();
    else if (point.charge)
        _lastSampleOnBattery = point;
}

void CWBatteryUsage::_addTime(const Point &previous, const Point &point)
{
    const qint64 seconds = point.time - previous.time;
    const bool asleep = previous.power == Power::Battery && seconds > kQuietSecondsOnBattery;
    if (seconds < 0 || asleep || previous.power == Power::Unknown) {
        _closeSession();
        _lastSampleOnBattery.reset();
    } else if (seconds > 0) {
        Amounts time;
        (previous.power == Power::Battery ? time.batterySeconds : time.adapterSeconds) = double(seconds);
        if (previous.power == Power::Adapter)
            _closeSession();
        _spread(previous.time, point.time, time);
    }
}

void CWBatteryUsage::_spread(qint64 from, qint64 to, const Amounts &amounts)
{
    if (to <= from)
        return;
    for (size_t i = 0; i < _days.size(); ++i)
        addShare(_days[i].amounts, amounts, share(from, to, _dayRanges[i].from, _dayRanges[i].to));
    for (int i = 0; i < 2; ++i)
        addShare(_averages[i], amounts, share(from, to, _end - kAverageDays[i] * 86400, _end));

    const qint64 sessionsFrom = _end - kSessionSeconds;
    if (amounts.batterySeconds > 0 && !_sessionOpen && to > sessionsFrom) {
        _sessions.push_back({std::max(from, sessionsFrom), {}});
        _sessionOpen = true;
    }
    if (_sessionOpen)
        addShare(_sessions.back().amounts, amounts, share(from, to, sessionsFrom, _end));
}
