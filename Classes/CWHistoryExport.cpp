#include "CWHistoryExport.h"

#include "CWLog.h"

#include <QDateTime>
#include <QIODevice>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

const QString kTime = QStringLiteral("time");
const QString kIndex = QStringLiteral("testidx");

// The samples' columns in table order.
const QStringList &sampleColumns()
{
    static const QStringList columns =
        QStringList{kIndex, QStringLiteral("significance"), kTime} + CWLog::sampleColumns();
    return columns;
}

// The unit a column's numbers are stored in; empty for counts, flags, texts and raw firmware values.
QString unitOf(const QString &column)
{
    static const QMap<QString, QString> units = {
        {QStringLiteral("Amperage"), QStringLiteral("mA")},
        {QStringLiteral("InstantAmperage"), QStringLiteral("mA")},
        {QStringLiteral("CellVoltage"), QStringLiteral("mV")},
        {QStringLiteral("Voltage"), QStringLiteral("mV")},
        {QStringLiteral("CurrentCapacity"), QStringLiteral("mAh")},
        {QStringLiteral("MaxCapacity"), QStringLiteral("mAh")},
        {QStringLiteral("DesignCapacity"), QStringLiteral("mAh")},
        {QStringLiteral("Temperature"), QStringLiteral("0.1 K")},
        {QStringLiteral("TimeRemaining"), QStringLiteral("min")},
    };
    return units.value(column);
}

QByteArray headerLine(CWHistoryExport::Table table)
{
    const QByteArray times = "time (ISO 8601),time (Unix s)";
    if (table == CWHistoryExport::Table::Events)
        return "eventidx," + times + ",eventtype,event,data\r\n";
    QByteArray line;
    for (const QString &column : sampleColumns()) {
        if (!line.isEmpty())
            line += ',';
        const QString unit = unitOf(column);
        line += column == kTime
                    ? times
                    : CWHistoryExport::csvField(unit.isEmpty() ? column : column + QStringLiteral(" (%1)").arg(unit));
    }
    return line + "\r\n";
}

qint64 startOfDay(QDate day)
{
    return QDateTime(day, QTime(0, 0)).toSecsSinceEpoch();
}

} // namespace

CWHistoryExport::CWHistoryExport(CWLog &log, QIODevice &output, Table table, QDate from, QDate to)
    : _log(log)
    , _output(output)
    , _table(table)
    , _fromTime(from.isValid() ? startOfDay(from) : std::numeric_limits<qint64>::min())
    , _toTime(to.isValid() ? startOfDay(to.addDays(1)) - 1 : std::numeric_limits<qint64>::max())
{
}

QByteArray CWHistoryExport::csvField(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (text.isNull())
        return utf8;
    if (!text.isEmpty() && !text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return utf8;
    return '"' + QByteArray(utf8).replace('"', "\"\"") + '"';
}

QByteArray CWHistoryExport::_timeFields(const QString &unixSeconds)
{
    constexpr qint64 kQuarter = 900, kDay = 86400; // seconds
    const qint64 time = unixSeconds.toLongLong();
    const qint64 quarter = time / kQuarter - (time % kQuarter < 0 ? 1 : 0);
    if (quarter != _offsetQuarter) {
        _offsetQuarter = quarter;
        _offset = QDateTime::fromSecsSinceEpoch(time).offsetFromUtc();
    }
    const qint64 local = time + _offset;
    const qint64 days = local / kDay - (local % kDay < 0 ? 1 : 0);
    const qint64 second = local - days * kDay;
    const QDate date = QDate(1970, 1, 1).addDays(days);
    const int offsetMinutes = std::abs(_offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d,", date.year(), date.month(), date.day(),
                  int(second / 3600), int(second / 60 % 60), int(second % 60), _offset < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return text + unixSeconds.toLatin1();
}

double CWHistoryExport::progress() const
{
    if (_rowsWritten == 0 && !_lastIndex)
        return 0.0;
    const qint64 end = std::min(_toTime, QDateTime::currentSecsSinceEpoch());
    if (end <= _startTime)
        return 1.0;
    return std::clamp(double(_lastTime - _startTime) / double(end - _startTime), 0.0, 1.0);
}

CWHistoryExport::Step CWHistoryExport::writeStep()
{
    if (!_headerWritten)
        return _writeHeader();
    return _table == Table::Samples ? _writeSamples() : _writeEvents();
}

CWHistoryExport::Step CWHistoryExport::_writeHeader()
{
    _headerWritten = true;
    return _write(headerLine(_table)) ? Step::More : Step::Failed;
}

CWHistoryExport::Step CWHistoryExport::_writeSamples()
{
    if (!_lastIndex) {
        // Start a little before the first sample of the range instead of reading the log from its
        // beginning; rows before the range are skipped below.
        qint64 lowerBound = 0;
        if (_fromTime != std::numeric_limits<qint64>::min()) {
            const QDateTime from = QDateTime::fromSecsSinceEpoch(_fromTime);
            _log.battLogEntriesFrom(from, from, {kIndex}, CWSignificances::fromInt(7), true, &lowerBound);
        }
        _lastIndex = quint64(lowerBound);
    }
    const CWLogResult rows = _log.battLogEntriesAboveIndex(*_lastIndex, sampleColumns(), kRowsPerStep);
    if (!rows)
        return Step::Done;
    QList<QStringList> columns;
    for (const QString &column : sampleColumns())
        columns << rows->value(column);
    const QStringList &indexes = columns[0];
    const QStringList &times = columns[2];
    QByteArray lines;
    bool pastRange = false;
    for (qsizetype row = 0; row < indexes.size() && !pastRange; ++row) {
        const qint64 time = times[row].toLongLong();
        pastRange = time > _toTime;
        if (time < _fromTime || pastRange)
            continue;
        if (_rowsWritten == 0)
            _startTime = std::max(time, _fromTime);
        _lastTime = time;
        for (qsizetype column = 0; column < columns.size(); ++column) {
            if (column > 0)
                lines += ',';
            lines += column == 2 ? _timeFields(times[row]) : csvField(columns[column][row]);
        }
        lines += "\r\n";
        ++_rowsWritten;
    }
    _lastIndex = indexes.last().toULongLong();
    if (!_write(lines))
        return Step::Failed;
    return pastRange || indexes.size() < kRowsPerStep ? Step::Done : Step::More;
}

// Events are a few per day; the range's events are read at once.
CWHistoryExport::Step CWHistoryExport::_writeEvents()
{
    const auto date = [](qint64 bound, qint64 open) {
        return bound == open ? QDateTime() : QDateTime::fromSecsSinceEpoch(bound);
    };
    const CWLogResult rows = _log.eventLogEntriesFrom(date(_fromTime, std::numeric_limits<qint64>::min()),
                                                      date(_toTime, std::numeric_limits<qint64>::max()));
    if (!rows)
        return Step::Done;
    const QStringList indexes = rows->value(QStringLiteral("eventidx"));
    const QStringList times = rows->value(kTime);
    const QStringList types = rows->value(QStringLiteral("eventtype"));
    const QStringList data = rows->value(QStringLiteral("data"));
    QByteArray lines;
    for (qsizetype row = 0; row < indexes.size(); ++row) {
        lines += indexes[row].toLatin1() + ',' + _timeFields(times[row]) + ',' + types[row].toLatin1() + ','
                 + csvField(CWLog::stringForEvent(CWEventType(types[row].toInt()))) + ',' + csvField(data[row])
                 + "\r\n";
        _lastTime = times[row].toLongLong();
    }
    _rowsWritten = indexes.size();
    _lastIndex = 0;
    return _write(lines) ? Step::Done : Step::Failed;
}

bool CWHistoryExport::_write(const QByteArray &text)
{
    if (_output.write(text) == text.size())
        return true;
    _error = _output.errorString();
    return false;
}
