#include "CWGraphSamples.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
// The rows scanned for a followed window's new start. A refresh later that is a handful; when it is
// more, the window is read afresh.
constexpr int kStartScanLimit = 512;

// Logged values are integers, read the fast way; a real goes through the general conversion; NULL
// and text that is no number are missing.
double number(const QString &text)
{
    if (text.isNull())
        return kMissing;
    bool ok = false;
    const qint64 integer = text.toLongLong(&ok);
    if (ok)
        return double(integer);
    const double real = text.toDouble(&ok);
    return ok ? real : kMissing;
}

// The rows the log's window query selects: unclassified ones, and the classified ones of the mask.
bool selects(CWSignificances mask, qint64 significance)
{
    switch (CWSignificance(significance)) {
    case CWSignificance::Unclassified:
        return true;
    case CWSignificance::Other:
    case CWSignificance::FiveMinuteAnchor:
    case CWSignificance::HourAnchor:
        return mask.testFlag(CWSignificance(significance));
    }
    return false;
}

// Where columns() puts each value.
enum Column {
    kVoltageColumn,
    kTemperatureColumn,
    kTimeColumn,
    kCurrentCapacityColumn,
    kMaxCapacityColumn,
    kWattsColumn,
    kIndexColumn,
};

} // namespace

const QStringList &CWGraphSamples::columns()
{
    static const QStringList list = {
        QStringLiteral("Voltage"),     QStringLiteral("Temperature"),
        QStringLiteral("time"),        QStringLiteral("CurrentCapacity"),
        QStringLiteral("MaxCapacity"), QStringLiteral("(Voltage/1000.) * (Amperage/1000.) AS Watts"),
        QStringLiteral("testidx"),     QStringLiteral("significance")};
    return list;
}

CWSignificances CWGraphSamples::significanceMask(double spanSeconds)
{
    CWSignificances mask = CWSignificance::HourAnchor;
    if (spanSeconds <= 2'592'000) // 30 days
        mask |= CWSignificance::FiveMinuteAnchor;
    if (spanSeconds <= 172'800) // 2 days
        mask |= CWSignificance::Other;
    return mask;
}

double CWGraphSamples::capacityY(double milliAmpHours, double maxAh)
{
    return (milliAmpHours / 1000.0) / maxAh;
}

double CWGraphSamples::voltageY(double milliVolts, double voltsMin, double voltsMax)
{
    return (milliVolts / 1000.0 - voltsMin) / (voltsMax - voltsMin);
}

double CWGraphSamples::temperatureY(double deciKelvin)
{
    return (deciKelvin / 10.0 - 273.15) / 100.0;
}

double CWGraphSamples::powerY(double watts)
{
    const double p = watts / 50.0;
    return 0.5 + 0.5 * (p >= 0 ? std::sqrt(p) : -std::sqrt(-p));
}

bool CWGraphSamples::read(CWLog &log, const QDateTime &start, const QDateTime &end, CWSignificances mask, bool follow)
{
    const qint64 startSecs = start.toSecsSinceEpoch();
    if (!_pending && follow && _following && mask == _mask && startSecs >= _startSecs && _follow(log, startSecs))
        return true;
    if (!_pending || _pending->mask != mask) {
        const std::optional<CWLog::IndexRange> window = log.battLogWindow(start, end);
        if (!window) {
            // The log could not bound the window: nothing to follow from.
            clear();
            return true;
        }
        _pending = Pending{mask, startSecs, *window, window->first, {}, 0};
    }
    // A window of every sample can be hundreds of thousands of rows: it is read a slice at a time,
    // so that the page never holds up the window for long. Rows are taken as numbers, not as text.
    Pending &pending = *_pending;
    const qint64 sliceEnd = mask.testFlag(CWSignificance::Other)
                                ? std::min(pending.window.last, pending.next + kSliceRows - 1)
                                : pending.window.last;
    const bool read = log.battLogRowsIn({pending.next, sliceEnd}, columns(), mask, true, [&](const CWLog::Row &row) {
        const qint64 index = row.integer(kIndexColumn).value_or(0);
        pending.lastIndex = std::max(pending.lastIndex, index);
        if (const std::optional<qint64> time = row.integer(kTimeColumn))
            pending.samples.push_back({index, *time, row.number(kVoltageColumn), row.number(kTemperatureColumn),
                                       row.number(kCurrentCapacityColumn), row.number(kMaxCapacityColumn),
                                       row.number(kWattsColumn)});
    });
    if (!read) {
        clear();
        return true;
    }
    if (sliceEnd < pending.window.last) {
        pending.next = sliceEnd + 1;
        return false;
    }
    _mask = mask;
    _lowerIndexBound = pending.window.first;
    _startSecs = pending.startSecs;
    _lastReadIndex = std::max({pending.window.first - 1, pending.lastIndex, qint64(0)});
    _following = true;
    _samples = std::move(pending.samples);
    _pending.reset();
    return true;
}

void CWGraphSamples::clear()
{
    _pending.reset();
    _samples.clear();
    _following = false;
}

bool CWGraphSamples::_follow(CWLog &log, qint64 startSecs)
{
    static const QStringList scanColumns = {QStringLiteral("testidx"), QStringLiteral("time")};
    // The start first: when it moved too far (the page was hidden a while), the window is read
    // afresh, and what was logged meanwhile is not read twice.
    const auto scanFrom = quint64(std::max<qint64>(_lowerIndexBound - 1, 0));
    if (!_followStart(startSecs, log.battLogEntriesAboveIndex(scanFrom, scanColumns, kStartScanLimit)))
        return false;
    _append(log.battLogEntriesAboveIndex(quint64(_lastReadIndex), columns()), true);
    return true;
}

void CWGraphSamples::_append(const CWLogResult &rows, bool filter)
{
    if (!rows)
        return;
    const auto column = [&rows](const char *name) { return rows->value(QString::fromLatin1(name)); };
    const QStringList indexes = column("testidx");
    const QStringList classes = column("significance");
    const QStringList times = column("time");
    const QStringList voltages = column("Voltage");
    const QStringList temperatures = column("Temperature");
    const QStringList currentCapacities = column("CurrentCapacity");
    const QStringList maxCapacities = column("MaxCapacity");
    const QStringList watts = column("Watts");
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        const qint64 index = indexes[i].toLongLong();
        _lastReadIndex = std::max(_lastReadIndex, index);
        // New rows that the moved start already left behind are not in the window either.
        if (filter && (index < _lowerIndexBound || !selects(_mask, classes.value(i).toLongLong())))
            continue;
        bool hasTime = false;
        const qint64 time = times.value(i).toLongLong(&hasTime);
        // A row without a time has no place on the graph.
        if (!hasTime)
            continue;
        _samples.push_back({index, time, number(voltages.value(i)), number(temperatures.value(i)),
                            number(currentCapacities.value(i)), number(maxCapacities.value(i)),
                            number(watts.value(i))});
    }
}

// Moves the window's start, given the rows from two before the old start's first row on, and drops
// the rows that left the window. False when the scan cannot tell: the log changed under the page,
// or the start moved further than the scan reached.
bool CWGraphSamples::_followStart(qint64 startSecs, const CWLogResult &scan)
{
    const QStringList indexes = scan ? scan->value(QStringLiteral("testidx")) : QStringList();
    const QStringList times = scan ? scan->value(QStringLiteral("time")) : QStringList();
    // The scan starts at or before the first row kept; when that row is gone, so may others be.
    if (!_samples.empty() && (indexes.isEmpty() || indexes.first().toLongLong() > _samples.front().index))
        return false;
    if (indexes.isEmpty()) {
        _startSecs = startSecs;
        return true;
    }
    // As the log bounds a window: two rows before its first row at or after the start, or before
    // the row that would follow the last when there is none.
    qint64 first = -1;
    for (qsizetype i = 0; i < indexes.size() && first < 0; ++i) {
        if (!times.value(i).isNull() && times.value(i).toLongLong() >= startSecs)
            first = indexes[i].toLongLong();
    }
    if (first < 0) {
        if (indexes.size() >= kStartScanLimit)
            return false;
        first = indexes.last().toLongLong() + 1;
    }
    _lowerIndexBound = std::max<qint64>(first - 2, 0);
    while (!_samples.empty() && _samples.front().index < _lowerIndexBound)
        _samples.pop_front();
    _startSecs = startSecs;
    return true;
}

CWGraphSamples::SeriesVertices CWGraphSamples::series(const Scale &scale,
                                                      std::vector<std::vector<CWGraphVertex>> reuse) const
{
    SeriesVertices vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
        std::vector<CWGraphVertex> &list = vertices[i];
        if (i < reuse.size())
            list = std::move(reuse[i]);
        list.clear();
        // Room for a window that grows a little from one refresh to the next, and none kept from a
        // far longer one.
        if (list.capacity() > 2 * _samples.size() + 4'096)
            list = std::vector<CWGraphVertex>();
        if (list.capacity() < _samples.size())
            list.reserve(_samples.size() + _samples.size() / 8);
    }
    if (!(scale.t1 > scale.t0))
        return vertices;
    const double span = scale.t1 - scale.t0;
    const auto add = [&vertices](Series series, double x, double y) {
        if (std::isfinite(y))
            vertices[series].push_back({x, y});
    };
    for (const Sample &sample : _samples) {
        const double x = (double(sample.time) - scale.t0) / span;
        add(MaxCapacity, x, capacityY(sample.maxCapacity, scale.maxAh));
        add(Volts, x, voltageY(sample.voltage, scale.voltsMin, scale.voltsMax));
        add(Temperature, x, temperatureY(sample.temperature));
        add(ChargeLevel, x, capacityY(sample.currentCapacity, scale.maxAh));
        add(Power, x, powerY(sample.watts));
    }
    return vertices;
}

std::array<CWGraphSamples::PlacedSpec, CWGraphSamples::SeriesCount>
CWGraphSamples::graphSpecs(const Scale &scale, const Colors &colors,
                           std::vector<std::vector<CWGraphVertex>> reuse) const
{
    constexpr double alpha = 0.7;
    constexpr qint64 top = 0;
    constexpr qint64 bottom = 1;
    SeriesVertices vertices = series(scale, std::move(reuse));
    return {{{{2, colors.maxCapacity, alpha, std::move(vertices[MaxCapacity]), kCWGraphCxtMaxCap}, top},
             {{0, colors.volts, alpha, std::move(vertices[Volts]), nullptr}, top},
             {{0, colors.temperature, alpha, std::move(vertices[Temperature]), nullptr}, top},
             {{0, colors.chargeLevel, alpha, std::move(vertices[ChargeLevel]), nullptr}, top},
             {{0, colors.chargeLevel, alpha, std::move(vertices[Power]), kCWGraphCxtDraw}, bottom}}};
}
