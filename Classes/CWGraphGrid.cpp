#include "CWGraphGrid.h"

#include <cmath>
#include <limits>

namespace {

constexpr qint64 kSecondsPerMinute = 60;
constexpr qint64 kSecondsPerDay = 86400;
// A value scale never gets more labels than this, whatever the settings say: more would only
// overlap, and a garbled setting must not stall drawing.
constexpr int kMostScaleLabels = 1000;

QString monthName(int month)
{
    static const char *const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return QString::fromLatin1(names[month - 1]);
}

QString number(qint64 value)
{
    return QString::number(value);
}

QString timeOfDay(int hour, int minute)
{
    return QString::asprintf("%02d:%02d", hour, minute);
}

double seconds(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

// Places instants along the range.
class Axis {
public:
    Axis(double t0, double t1)
        : _t0(t0)
        , _t1(t1)
    {
    }
    double t0() const { return _t0; }
    double t1() const { return _t1; }
    double fract(double t) const { return (t - _t0) / (_t1 - _t0); }
    bool contains(double t) const { return t >= _t0 && t <= _t1; }

private:
    double _t0;
    double _t1;
};

double localMidnight(const QDate &date, const QTimeZone &zone)
{
    return seconds(QDateTime(date, QTime(0, 0), zone));
}

// Firsts of the month and 1 January of each year.
void addCalendarLines(CWGraphGrid::TimeLines &lines, const Axis &axis, CWGraphGrid::TimeScale scale, int y0, int y1,
                      const QTimeZone &zone)
{
    if (scale == CWGraphGrid::Years) {
        for (int year = y0 + 1; year <= y1; ++year)
            lines.major.append({axis.fract(localMidnight(QDate(year, 1, 1), zone)), number(year)});
        // Month lines only while they stay apart.
        if (y1 - y0 >= 5)
            return;
        for (int year = y0; year <= y1; ++year) {
            for (int month = 2; month <= 12; ++month) {
                const double t = localMidnight(QDate(year, month, 1), zone);
                if (axis.contains(t))
                    lines.minor.append({axis.fract(t), QString()});
            }
        }
        return;
    }
    for (int year = y0; year <= y1; ++year) {
        for (int month = 1; month <= 12; ++month) {
            const double t = localMidnight(QDate(year, month, 1), zone);
            if (!axis.contains(t))
                continue;
            if (month == 1)
                lines.major.append({axis.fract(t), number(year)});
            else
                lines.minor.append({axis.fract(t), monthName(month)});
        }
    }
}

// Every local midnight in the range: firsts of the month are major, Sundays (weeks) or every other
// day (days) minor. Walking dates rather than 86,400-second steps keeps the lines on midnight across
// daylight-saving changes.
void addDayLines(CWGraphGrid::TimeLines &lines, const Axis &axis, CWGraphGrid::TimeScale scale, const QDateTime &start,
                 const QTimeZone &zone)
{
    QDate date = start.toTimeZone(zone).date();
    if (localMidnight(date, zone) < axis.t0())
        date = date.addDays(1);
    for (double t = localMidnight(date, zone); t <= axis.t1(); date = date.addDays(1), t = localMidnight(date, zone)) {
        if (date.day() == 1)
            lines.major.append({axis.fract(t), monthName(date.month())});
        else if (scale == CWGraphGrid::Days)
            lines.minor.append({axis.fract(t), number(date.day())});
        else if (date.dayOfWeek() == Qt::Sunday)
            lines.minor.append({axis.fract(t), QString()});
    }
}

// The zone's offset from UTC, looked up again only when a transition is passed.
class LocalClock {
public:
    explicit LocalClock(const QTimeZone &zone)
        : _zone(zone)
    {
    }

    // Seconds since 1970 on the local wall clock at instant t.
    qint64 local(qint64 t)
    {
        if (t < _validFrom || t >= _validUntil)
            _lookUp(t);
        return t + _offset;
    }

private:
    void _lookUp(qint64 t)
    {
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(t, Qt::UTC);
        _offset = _zone.offsetFromUtc(instant);
        _validFrom = t;
        const QTimeZone::OffsetData next = _zone.nextTransition(instant);
        _validUntil = next.atUtc.isValid() ? next.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    }

    QTimeZone _zone;
    qint64 _offset = 0;
    qint64 _validFrom = 0;
    qint64 _validUntil = 0;
};

// Every whole local minute in the range. Time zones keep whole-minute offsets, so local minutes
// begin on UTC minutes.
void addMinuteLines(CWGraphGrid::TimeLines &lines, const Axis &axis, CWGraphGrid::TimeScale scale,
                    const QTimeZone &zone)
{
    LocalClock clock(zone);
    const qint64 first = qint64(std::ceil(axis.t0() / double(kSecondsPerMinute))) * kSecondsPerMinute;
    for (qint64 t = first; double(t) <= axis.t1(); t += kSecondsPerMinute) {
        const qint64 local = clock.local(t);
        const qint64 day = local >= 0 ? local / kSecondsPerDay : (local + 1) / kSecondsPerDay - 1;
        const qint64 secondOfDay = local - day * kSecondsPerDay;
        const int hour = int(secondOfDay / 3600);
        const int minute = int(secondOfDay % 3600 / kSecondsPerMinute);
        const double fract = axis.fract(double(t));
        if (scale == CWGraphGrid::HoursOverDays) {
            if (hour == 0 && minute == 0)
                lines.major.append({fract, number(QDate(1970, 1, 1).addDays(day).day())});
            else if (minute == 0)
                lines.minor.append({fract, hour == 12 ? timeOfDay(hour, minute) : QString()});
        } else if (minute == 0) {
            lines.major.append({fract, timeOfDay(hour, minute)});
        } else if (scale == CWGraphGrid::Minutes || minute % 15 == 0) {
            lines.minor.append({fract, QString()});
        }
    }
}

// Labels 0, step, ... up to last, spread evenly from bottom to top.
QList<CWGridLine> evenScale(int last, int step)
{
    QList<CWGridLine> lines;
    for (int value = 0; value <= last; value += step)
        lines.append({double(value) / last, number(value)});
    return lines;
}

} // namespace

CWGraphGrid::TimeScale CWGraphGrid::timeScaleFor(double spanSeconds, double viewWidth)
{
    const double s = spanSeconds / (viewWidth / 900.0);
    struct Threshold {
        double seconds;
        TimeScale scale;
    };
    static constexpr Threshold thresholds[] = {{65'664'000, Years}, {15'552'000, Months},    {2'678'400, Weeks},
                                               {604'800, Days},     {14'400, HoursOverDays}, {2'700, Hours}};
    for (const Threshold &threshold : thresholds) {
        if (s > threshold.seconds)
            return threshold.scale;
    }
    return Minutes;
}

CWGraphGrid::ValueScales CWGraphGrid::valueScales(const Settings &settings)
{
    ValueScales scales;
    const double nominal = settings.nominalVoltage > 0.0 ? settings.nominalVoltage : 11.1;
    const double spread = settings.voltsSpread > 0.0 ? settings.voltsSpread : 6.0;
    scales.voltsMin = std::max(nominal - spread * 0.5, 0.0);
    scales.voltsMax = nominal + spread * 0.5;
    // Labels are placed on the range the curve is drawn on, also when its bottom is clamped at 0 V.
    const double range = scales.voltsMax - scales.voltsMin;
    QList<CWGridLine> volts;
    for (double v = std::ceil(scales.voltsMin); v <= scales.voltsMax && volts.size() < kMostScaleLabels; v += 1.0)
        volts.append({(v - scales.voltsMin) / range, number(qint64(v))});

    QList<CWGridLine> temperature;
    if (settings.temperatureUnit == 2)
        temperature = {{0.0, QStringLiteral("32")},
                       {68.0 / 180.0, QStringLiteral("100")},
                       {1.0, QStringLiteral("212")}};
    else if (settings.temperatureUnit == 3)
        temperature = {{0.0, QStringLiteral("273")}, {1.0, QStringLiteral("373")}};
    else
        temperature = evenScale(100, 10);

    // Whole ampere-hours where the capacity series place them, also below a top of 7.5 Ah.
    scales.maxAh = settings.maxAH > 0.0 && std::isfinite(settings.maxAH) ? settings.maxAH : 8.0;
    QList<CWGridLine> capacity;
    for (int ah = 0; ah <= scales.maxAh && capacity.size() < kMostScaleLabels; ++ah)
        capacity.append({ah / scales.maxAh, number(ah)});
    scales.lines = {volts, temperature, capacity, capacity, {}};
    return scales;
}

CWGraphGrid::TimeLines CWGraphGrid::timeLines(const QDateTime &start, const QDateTime &end, TimeScale scale,
                                              const QTimeZone &zone)
{
    TimeLines lines;
    const Axis axis(seconds(start), seconds(end));
    if (!(axis.t1() > axis.t0()))
        return lines;
    switch (scale) {
    case Years:
    case Months:
        addCalendarLines(lines, axis, scale, start.toTimeZone(zone).date().year(), end.toTimeZone(zone).date().year(),
                         zone);
        break;
    case Weeks:
    case Days:
        addDayLines(lines, axis, scale, start, zone);
        break;
    case HoursOverDays:
    case Hours:
    case Minutes:
        addMinuteLines(lines, axis, scale, zone);
        break;
    }
    return lines;
}
