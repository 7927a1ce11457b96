#include "CWBatteryReportData.h"

#include "CWLog.h"
#include "CWLogTimeSpans.h"
#include "SqliteHandles.h"

#include <QDateTime>
#include <algorithm>

namespace {

constexpr qint64 kSecondsPerDay = 86400;

// One statement's rows; the first failure is kept and later steps do nothing.
class Reader {
public:
    explicit Reader(sqlite3 *db)
        : _db(db)
    {
    }

    // Runs sql with integer parameters, calling row for each row; false once anything failed.
    template <typename RowFunction>
    bool each(const char *sql, std::initializer_list<qint64> parameters, RowFunction row)
    {
        if (!_error.isNull())
            return false;
        sqlite3_stmt *raw = nullptr;
        const Sqlite::Statement statement(sqlite3_prepare_v2(_db, sql, -1, &raw, nullptr) == SQLITE_OK ? raw : nullptr);
        if (!statement)
            return _fail(sql);
        int position = 0;
        for (qint64 parameter : parameters)
            sqlite3_bind_int64(statement.get(), ++position, parameter);
        int status;
        while ((status = sqlite3_step(statement.get())) == SQLITE_ROW)
            row(statement.get());
        return status == SQLITE_DONE || _fail(sql);
    }

    QString error() const { return _error; }

private:
    bool _fail(const char *sql)
    {
        _error = QStringLiteral("Query %1 failed with %2")
                     .arg(QString::fromUtf8(sql), QString::fromUtf8(sqlite3_errmsg(_db)));
        return false;
    }

    sqlite3 *_db;
    QString _error;
};

std::optional<qint64> integer(sqlite3_stmt *row, int column)
{
    if (sqlite3_column_type(row, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(row, column);
}

QVariant value(sqlite3_stmt *row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(row, column));
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(row, column)));
    }
}

std::optional<qint64> larger(std::optional<qint64> a, std::optional<qint64> b)
{
    return a && b ? std::max(a, b) : (a ? a : b);
}

// Adds a reading to its local day, the days kept in time order.
void addToDay(std::vector<CWBatteryReportData::CapacityDay> &days, qint64 time, std::optional<qint64> full,
              std::optional<qint64> design, std::optional<qint64> cycles)
{
    const QDate date = QDateTime::fromSecsSinceEpoch(time).date();
    if (days.empty() || days.back().date != date) {
        // A clock that went back files its readings under the day already open.
        if (!days.empty() && date < days.back().date)
            return;
        days.push_back({date, time, {}, {}, {}});
    }
    CWBatteryReportData::CapacityDay &day = days.back();
    day.time = time;
    day.fullCapacity = larger(day.fullCapacity, full);
    day.cycleCount = larger(day.cycleCount, cycles);
    if (design)
        day.designCapacity = design;
}

CWBatteryUsage::Power power(std::optional<qint64> externalConnected)
{
    if (!externalConnected)
        return CWBatteryUsage::Power::Unknown;
    return *externalConnected ? CWBatteryUsage::Power::Adapter : CWBatteryUsage::Power::Battery;
}

} // namespace

std::optional<CWBatteryReportData> CWBatteryReportData::read(const QString &logPath, int days, QString *error)
{
    sqlite3 *raw = nullptr;
    const int status = sqlite3_open_v2(logPath.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Sqlite::Connection db(raw);
    if (status != SQLITE_OK) {
        *error = QStringLiteral("Cannot open %1: %2").arg(logPath, QString::fromUtf8(sqlite3_errmsg(raw)));
        return std::nullopt;
    }
    // The running Cellwise writes a sample a second; wait out its short write locks.
    sqlite3_busy_timeout(raw, 2000);
    Reader reader(raw);

    QVariantMap latest;
    qint64 lastTime = 0;
    reader.each("SELECT * FROM battlog WHERE time IS NOT NULL ORDER BY testidx DESC LIMIT 1", {},
                [&](sqlite3_stmt *row) {
                    for (int column = 0; column < sqlite3_column_count(row); ++column)
                        latest.insert(QString::fromUtf8(sqlite3_column_name(row, column)), value(row, column));
                    lastTime = latest.value(QStringLiteral("time")).toLongLong();
                });
    if (latest.isEmpty()) {
        *error =
            reader.error().isNull() ? QStringLiteral("There is no battery history to report on yet.") : reader.error();
        return std::nullopt;
    }
    CWBatteryReportData data(lastTime);
    data._latest = latest;
    reader.each("SELECT time FROM battlog WHERE time IS NOT NULL ORDER BY testidx LIMIT 1", {},
                [&](sqlite3_stmt *row) { data._firstTime = sqlite3_column_int64(row, 0); });

    // One point a day from the hour anchors, and today's from the last sample, which the running
    // Cellwise has not classified yet.
    const qint64 historyFrom = days > 0 ? lastTime - days * kSecondsPerDay : 0;
    reader.each(
        "SELECT time, MaxCapacity, DesignCapacity, CycleCount FROM battlog WHERE significance = 4 AND time >= ?1 "
        "ORDER BY testidx",
        {historyFrom}, [&](sqlite3_stmt *row) {
            addToDay(data._history, sqlite3_column_int64(row, 0), integer(row, 1), integer(row, 2), integer(row, 3));
        });
    const auto latestInteger = [&latest](const char *column) {
        const QVariant number = latest.value(QLatin1String(column));
        return number.isNull() ? std::nullopt : std::optional<qint64>(number.toLongLong());
    };
    addToDay(data._history, lastTime, latestInteger("MaxCapacity"), latestInteger("DesignCapacity"),
             latestInteger("CycleCount"));

    std::vector<CWHealthForecast::Day> forecastDays;
    for (const CapacityDay &day : data._history) {
        if (day.fullCapacity)
            forecastDays.push_back({day.time, double(*day.fullCapacity),
                                    day.cycleCount ? std::optional<double>(double(*day.cycleCount)) : std::nullopt});
    }
    data._forecast = CWHealthForecast::fit(forecastDays, double(latestInteger("DesignCapacity").value_or(0)));

    // The usage: events and samples from just before its first window, each in its own order,
    // merged by time. A stop marker ends what is known until the next sample; a start marker adds
    // nothing to that.
    const qint64 usageFrom = data._usage.firstTimeNeeded();
    std::vector<CWBatteryUsage::Point> events;
    reader.each("SELECT time, eventtype FROM eventlog WHERE eventtype IN (2, 3, 4) AND time >= ?1 ORDER BY eventidx",
                {usageFrom}, [&](sqlite3_stmt *row) {
                    const qint64 type = sqlite3_column_int64(row, 1);
                    const auto eventPower = type == int(CWEventType::PluggedIn)   ? CWBatteryUsage::Power::Adapter
                                            : type == int(CWEventType::Unplugged) ? CWBatteryUsage::Power::Battery
                                                                                  : CWBatteryUsage::Power::Unknown;
                    events.push_back({sqlite3_column_int64(row, 0), eventPower, {}, {}});
                });
    bool spansOk = true;
    CWLogTimeSpans spans(raw);
    const std::optional<qint64> firstIndex = spans.firstAtOrAfter(usageFrom, spansOk);
    auto event = events.cbegin();
    if (firstIndex) {
        reader.each("SELECT time, ExternalConnected, CurrentCapacity, Voltage FROM battlog WHERE testidx >= ?1 "
                    "AND time IS NOT NULL ORDER BY testidx",
                    {*firstIndex - 1}, [&](sqlite3_stmt *row) {
                        const CWBatteryUsage::Point sample{sqlite3_column_int64(row, 0), power(integer(row, 1)),
                                                           integer(row, 2), integer(row, 3)};
                        // The monitor writes an event after the sample that shows the change.
                        while (event != events.cend() && event->time < sample.time)
                            data._usage.add(*event++);
                        data._usage.add(sample);
                    });
    }
    while (event != events.cend())
        data._usage.add(*event++);
    if (!reader.error().isNull() || !spansOk) {
        *error = reader.error().isNull() ? QStringLiteral("Cannot find the last 30 days in %1.").arg(logPath)
                                         : reader.error();
        return std::nullopt;
    }
    return data;
}
