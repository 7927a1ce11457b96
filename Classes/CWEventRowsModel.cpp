#include "CWEventRowsModel.h"

#include "BatteryKeys.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

// Rows read at a time: the screenful asked for and those around it.
constexpr int kRowsRead = 256;
// More new samples than this since the last update are not looked at one by one: the rows are reloaded.
constexpr int kNewRowsLooked = 1000;
// Seconds of log read first when looking for the rows from a second on; it grows fourfold while
// rows are missing.
constexpr qint64 kFirstReadSeconds = 512;

const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");

// Logged values are integers, read the fast way; anything else (a real, a garbled text) goes
// through the general conversion and reads as 0 when it is no number at all.
double number(const QString &text)
{
    bool isInteger = false;
    const qint64 integer = text.toLongLong(&isInteger);
    return isInteger ? double(integer) : text.toDouble();
}

qint64 wholeNumber(const QString &text)
{
    return qint64(number(text));
}

} // namespace

CWEventRowsModel::CWEventRowsModel(CWLog *log, QObject *parent)
    : QAbstractTableModel(parent)
    , _log(log)
{
}

void CWEventRowsModel::update(bool showReadings)
{
    const std::optional<qint64> newestShown = rowCount() > 0 ? _newestShown : std::nullopt;
    std::vector<Event> events = _newEvents();
    std::optional<qint64> newReadings;
    if (newestShown && showReadings == _showReadings) {
        const bool eventsOnTop =
            std::all_of(events.begin(), events.end(), [&](const Event &event) { return event.time > *newestShown; });
        newReadings = !eventsOnTop ? std::nullopt : showReadings ? _newReadingsOnTop(*newestShown) : 0;
    }
    if (newReadings) {
        // The usual case, rows later than all shown: the view keeps its place and selection.
        const int added = int(*newReadings + qint64(events.size()));
        if (added == 0)
            return;
        beginInsertRows({}, 0, added - 1);
        _events.insert(_events.end(), events.begin(), events.end());
        _readingCount += *newReadings;
        _newestShown = _newestTime();
        _readRows.clear();
        endInsertRows();
        return;
    }
    beginResetModel();
    _events.insert(_events.end(), events.begin(), events.end());
    std::sort(_events.begin(), _events.end(), &CWEventRowsModel::_earlier);
    _showReadings = showReadings;
    _readingCount = showReadings && _log ? _log->timedSampleCount() : 0;
    _highestSampleIndex = showReadings && _log ? quint64(_log->lastSampleIndex().value_or(0)) : 0;
    _newestShown = _newestTime();
    _readRows.clear();
    endResetModel();
}

// The events logged since the last update, by time; their notes are kept aside.
std::vector<CWEventRowsModel::Event> CWEventRowsModel::_newEvents()
{
    const std::vector<CWLog::Event> logged =
        _log ? _log->eventsAboveIndex(_highestEventIndex) : std::vector<CWLog::Event>();
    if (logged.empty())
        return {};
    _highestEventIndex = quint64(logged.back().index);
    std::vector<Event> events;
    events.reserve(logged.size());
    for (const CWLog::Event &event : logged) {
        events.push_back({event.time, event.index, event.type});
        if (!event.data.isEmpty())
            _eventNotes.insert(event.index, event.data);
    }
    std::sort(events.begin(), events.end(), &CWEventRowsModel::_earlier);
    return events;
}

bool CWEventRowsModel::_earlier(const Event &a, const Event &b)
{
    return std::pair(a.time, a.index) < std::pair(b.time, b.index);
}

std::optional<qint64> CWEventRowsModel::_newReadingsOnTop(qint64 newestShown)
{
    const CWLogResult result =
        _log ? _log->battLogEntriesAboveIndex(_highestSampleIndex, {QStringLiteral("testidx"), QStringLiteral("time")},
                                              kNewRowsLooked + 1)
             : std::nullopt;
    if (!result)
        return 0;
    const QStringList indexes = result->value(QStringLiteral("testidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    if (indexes.size() > kNewRowsLooked)
        return std::nullopt;
    qint64 shown = 0;
    for (const QString &time : times) {
        if (time.isNull())
            continue; // a sample without a time is no row
        if (wholeNumber(time) <= newestShown)
            return std::nullopt;
        ++shown;
    }
    _highestSampleIndex = indexes.last().toULongLong();
    return shown;
}

std::optional<qint64> CWEventRowsModel::_newestTime() const
{
    std::optional<qint64> newest;
    if (!_events.empty())
        newest = _events.back().time;
    if (const auto range = _showReadings && _log ? _log->sampleTimeRange() : std::nullopt)
        newest = std::max(newest.value_or(range->second), range->second);
    return newest;
}

qint64 CWEventRowsModel::_rowsLaterThan(qint64 time) const
{
    const auto laterEvents = std::upper_bound(_events.begin(), _events.end(), time,
                                              [](qint64 t, const Event &event) { return t < event.time; });
    return qint64(_events.end() - laterEvents) + (_showReadings && _log ? _log->samplesLaterThan(time) : 0);
}

// Reads kRowsRead rows from row first on: finds the second of that row from how many rows are
// later than a time, then reads seconds of log back from it until the rows are there.
void CWEventRowsModel::_readRowsFrom(int first) const
{
    _readFirst = first;
    _readRows.clear();
    const std::optional<std::pair<qint64, qint64>> readingTimes =
        _showReadings && _log ? _log->sampleTimeRange() : std::nullopt;
    qint64 earliest = readingTimes ? readingTimes->first : std::numeric_limits<qint64>::max();
    qint64 latest = readingTimes ? readingTimes->second : std::numeric_limits<qint64>::min();
    if (!_events.empty()) {
        earliest = std::min(earliest, _events.front().time);
        latest = std::max(latest, _events.back().time);
    }
    if (earliest > latest)
        return;
    // The earliest second with at most `first` rows later than it holds row first.
    qint64 low = earliest;
    qint64 high = latest;
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (_rowsLaterThan(middle) <= first)
            high = middle;
        else
            low = middle + 1;
    }
    qint64 skipped = first - _rowsLaterThan(high);

    const auto byTime = [](const Event &event, qint64 time) { return event.time < time; };
    qint64 seconds = kFirstReadSeconds;
    for (qint64 to = high; int(_readRows.size()) < kRowsRead; seconds *= 4) {
        const qint64 from = to - earliest < seconds ? earliest : to - seconds + 1;
        const std::vector<CWEventRow> readings = _readings(from, to);
        // The events of these seconds, latest second first, each second's in the order logged.
        std::vector<Event> events(std::lower_bound(_events.begin(), _events.end(), from, byTime),
                                  std::lower_bound(_events.begin(), _events.end(), to + 1, byTime));
        std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.time > b.time; });
        auto reading = readings.begin();
        auto event = events.begin();
        while ((reading != readings.end() || event != events.end()) && int(_readRows.size()) < kRowsRead) {
            CWEventRow row;
            if (event == events.end() || (reading != readings.end() && reading->time >= event->time)) {
                row = *reading++;
            } else {
                row.index = event->index;
                row.time = event->time;
                row.eventCode = event->code;
                ++event;
            }
            if (skipped > 0)
                --skipped;
            else
                _readRows.push_back(row);
        }
        if (from == earliest)
            break;
        to = from - 1;
    }
}

std::vector<CWEventRow> CWEventRowsModel::_readings(qint64 earliest, qint64 latest) const
{
    static const QStringList columns = {QStringLiteral("testidx"),   QStringLiteral("time"),
                                        BatteryKey::InstantAmperage, BatteryKey::Voltage,
                                        BatteryKey::CurrentCapacity, BatteryKey::Temperature};
    const CWLogResult result =
        _showReadings && _log ? _log->battLogEntriesBetweenTimes(earliest, latest, columns) : std::nullopt;
    if (!result)
        return {};
    const QStringList indexes = result->value(QStringLiteral("testidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    const QStringList amperages = result->value(BatteryKey::InstantAmperage);
    const QStringList voltages = result->value(BatteryKey::Voltage);
    const QStringList capacities = result->value(BatteryKey::CurrentCapacity);
    const QStringList temperatures = result->value(BatteryKey::Temperature);
    std::vector<CWEventRow> rows(indexes.size());
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        CWEventRow &row = rows[i];
        row.index = wholeNumber(indexes[i]);
        row.time = wholeNumber(times.value(i));
        row.capacity = number(capacities.value(i));
        row.voltage = number(voltages.value(i));
        row.amperage = number(amperages.value(i));
        // Most Linux batteries report no temperature: the reading is shown without one.
        row.temperature = temperatures.value(i).isNull() ? std::nan("") : number(temperatures[i]);
        row.type = CWEventRow::Reading;
    }
    return rows;
}

CWEventRow CWEventRowsModel::arrangedRow(int row) const
{
    if (row < _readFirst || row >= _readFirst + int(_readRows.size()))
        _readRowsFrom(std::max(0, row - kRowsRead / 4));
    const int read = row - _readFirst;
    return read >= 0 && read < int(_readRows.size()) ? _readRows[size_t(read)] : CWEventRow();
}

QString CWEventRowsModel::timeText(const CWEventRow &row)
{
    return QDateTime::fromSecsSinceEpoch(row.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CWEventRowsModel::eventText(const CWEventRow &row)
{
    return row.type == CWEventRow::Reading ? QStringLiteral("Batt reading") : CWLog::stringForEvent(row.eventCode);
}

QString CWEventRowsModel::notes(const CWEventRow &row) const
{
    if (row.type == CWEventRow::Event)
        return _eventNotes.value(row.index);
    const QString reading =
        QString::asprintf("%i mAh, %0.3f V, %0.3f A", int(row.capacity), row.voltage / 1000.0, row.amperage / 1000.0);
    const QString temperature =
        std::isnan(row.temperature)
            ? QString()
            : temperatureText(row.temperature, int(UserDefaults::standard().integerForKey(kTemperatureUnitKey)));
    return temperature.isEmpty() ? reading : reading + QStringLiteral(", ") + temperature;
}

QString CWEventRowsModel::temperatureText(double tenthsOfKelvin, int unit)
{
    const double kelvin = tenthsOfKelvin / 10.0;
    switch (unit) {
    case 1:
        return QString::asprintf("%0.1f °C", kelvin - 273.15);
    case 2:
        return QString::asprintf("%0.1f °F", (kelvin - 273.15) * 1.8 + 32.0);
    case 3:
        return QString::asprintf("%0.1f K", kelvin);
    default:
        return {};
    }
}

int CWEventRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(qint64(_events.size()) + _readingCount);
}

int CWEventRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CWEventRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const CWEventRow row = arrangedRow(index.row());
    switch (index.column()) {
    case TimeColumn:
        return timeText(row);
    case EventColumn:
        return eventText(row);
    case NotesColumn:
        return notes(row);
    default:
        return {};
    }
}

QVariant CWEventRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Time");
    case EventColumn:
        return QStringLiteral("Event");
    case NotesColumn:
        return QStringLiteral("Notes");
    default:
        return {};
    }
}
