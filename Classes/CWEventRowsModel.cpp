#include "CWEventRowsModel.h"

#include <QDateTime>
#include <algorithm>

static_assert(sizeof(CWEventRow) <= 40, "a million rows must stay within 40 MB");

namespace {

bool newerFirst(const CWEventRow &a, const CWEventRow &b)
{
    return a.time > b.time;
}

} // namespace

CWEventRow CWEventRow::reading(qint64 testidx, qint64 time, double capacity, double voltage, double amperage,
                               double temperature, int temperatureUnit)
{
    CWEventRow row;
    row.index = testidx;
    row.time = time;
    row.capacity = float(capacity);
    row.voltage = float(voltage);
    row.amperage = float(amperage);
    row.temperature = float(temperature);
    row.type = Reading;
    row.temperatureUnit = quint8(std::clamp(temperatureUnit, 0, 255));
    return row;
}

CWEventRowsModel::CWEventRowsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

CWEventRow CWEventRowsModel::eventRow(qint64 eventidx, qint64 time, CWEventType eventCode, const QString &data)
{
    if (!data.isEmpty())
        _eventNotes.insert(eventidx, data);
    CWEventRow row;
    row.index = eventidx;
    row.time = time;
    row.eventCode = eventCode;
    row.type = CWEventRow::Event;
    return row;
}

void CWEventRowsModel::addRows(std::vector<CWEventRow> rows)
{
    if (rows.empty())
        return;
    // Sorting stably keeps rows of the same second in the order they were added.
    std::stable_sort(rows.begin(), rows.end(), newerFirst);
    // Rows already shown stay above added rows of the same second.
    const auto placeOf = [this](const CWEventRow &row) {
        return int(std::upper_bound(_rows.begin(), _rows.end(), row, newerFirst) - _rows.begin());
    };
    const int first = placeOf(rows.front());
    if (first == placeOf(rows.back())) {
        // The usual case, new rows on top: the view keeps its scroll position and selection.
        beginInsertRows({}, first, first + int(rows.size()) - 1);
        _rows.insert(_rows.begin() + first, rows.begin(), rows.end());
        endInsertRows();
        return;
    }
    // Rows that fall between rows already shown (a clock set back, readings shown again): one pass.
    beginResetModel();
    std::deque<CWEventRow> merged;
    std::merge(_rows.begin(), _rows.end(), rows.begin(), rows.end(), std::back_inserter(merged), newerFirst);
    _rows.swap(merged);
    endResetModel();
}

void CWEventRowsModel::removeReadings()
{
    const auto isReading = [](const CWEventRow &row) { return row.type == CWEventRow::Reading; };
    if (std::none_of(_rows.begin(), _rows.end(), isReading))
        return;
    beginResetModel();
    std::erase_if(_rows, isReading);
    _rows.shrink_to_fit();
    endResetModel();
}

QString CWEventRowsModel::timeText(const CWEventRow &row) const
{
    return QDateTime::fromSecsSinceEpoch(row.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CWEventRowsModel::eventText(const CWEventRow &row) const
{
    return row.type == CWEventRow::Reading ? QStringLiteral("Batt reading") : CWLog::stringForEvent(row.eventCode);
}

QString CWEventRowsModel::notes(const CWEventRow &row) const
{
    if (row.type == CWEventRow::Event)
        return _eventNotes.value(row.index);
    const QString reading = QString::asprintf("%i mAh, %0.3f V, %0.3f A", int(row.capacity), row.voltage / 1000.0,
                                              row.amperage / 1000.0);
    const QString temperature = temperatureText(row.temperature, row.temperatureUnit);
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
    return parent.isValid() ? 0 : int(_rows.size());
}

int CWEventRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CWEventRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const CWEventRow &row = _rows[index.row()];
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
