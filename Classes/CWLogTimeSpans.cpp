#include "CWLogTimeSpans.h"

#include "Console.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 kNoTime = std::numeric_limits<qint64>::max();
constexpr qint64 kCatchUpSamples = 1 << 20; // per statement

// A closed log has no connection: every statement fails.
Sqlite::Statement prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (db)
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Sqlite::Statement(statement);
}

void reportFailure(sqlite3 *db, const char *sql)
{
    Console::line(QStringLiteral("Query ") + QString::fromUtf8(sql) + QStringLiteral(" failed with ")
                  + (db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("no open database")));
}

bool execute(sqlite3 *db, const char *sql)
{
    return db && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

CWLogTimeSpans::CWLogTimeSpans(sqlite3 *db)
    : _db(db)
{
}

// The kept spans, less those below the first sample (deleted since by a program that left the
// table as it was).
void CWLogTimeSpans::_load()
{
    if (_loaded)
        return;
    _loaded = true;
    const Sqlite::Statement first = prepare(_db, "SELECT min(testidx) FROM battlog");
    const qint64 firstSpan =
        first && sqlite3_step(first.get()) == SQLITE_ROW && sqlite3_column_type(first.get(), 0) != SQLITE_NULL
            ? sqlite3_column_int64(first.get(), 0) / kSpanLength
            : kNoTime;
    const Sqlite::Statement kept =
        prepare(_db, "SELECT span, mintime, maxtime, samples FROM battlog_timespans ORDER BY span");
    while (kept && sqlite3_step(kept.get()) == SQLITE_ROW) {
        const Span span{sqlite3_column_int64(kept.get(), 0), sqlite3_column_int64(kept.get(), 1),
                        sqlite3_column_int64(kept.get(), 2), sqlite3_column_int64(kept.get(), 3)};
        if (span.number < firstSpan)
            continue;
        _sampleCount += span.samples;
        _prefixMaximum.push_back(std::max(span.maxTime, _prefixMaximum.empty() ? span.maxTime : _prefixMaximum.back()));
        _spans.push_back(span);
    }
    _storedSpans = _spans.size();
    _summarisedUpTo = _spans.empty() ? 0 : (_spans.back().number + 1) * kSpanLength - 1;
}

bool CWLogTimeSpans::catchUp(qint64 maxSamples, bool &ok)
{
    static const char *const sql = "SELECT testidx, time FROM battlog WHERE testidx > ?1 ORDER BY testidx LIMIT ?2";
    _load();
    if (!_readSamples)
        _readSamples = prepare(_db, sql);
    ok = bool(_readSamples);
    if (!ok) {
        reportFailure(_db, sql);
        return false;
    }
    const Sqlite::StatementUse samples(_readSamples);
    sqlite3_bind_int64(samples, 1, _summarisedUpTo);
    sqlite3_bind_int64(samples, 2, maxSamples);
    qint64 read = 0;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(samples)) == SQLITE_ROW) {
        _summarise(sqlite3_column_int64(samples, 0), samples, 1);
        ++read;
    }
    ok = status == SQLITE_DONE;
    if (!ok)
        reportFailure(_db, sql);
    _store();
    return ok && read < maxSamples;
}

bool CWLogTimeSpans::caughtUp()
{
    bool ok = false;
    while (!catchUp(kCatchUpSamples, ok)) {
        if (!ok)
            return false;
    }
    return true;
}

void CWLogTimeSpans::_summarise(qint64 testidx, sqlite3_stmt *row, int timeColumn)
{
    _summarisedUpTo = testidx;
    // The bounds only have to enclose what SQL compares: a real between its neighbouring
    // integers, a text above every number (as SQLite orders them), NULL matching nothing.
    qint64 earliest = 0;
    qint64 latest = 0;
    switch (sqlite3_column_type(row, timeColumn)) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER:
        earliest = latest = sqlite3_column_int64(row, timeColumn);
        break;
    case SQLITE_FLOAT: {
        const double time = std::clamp(sqlite3_column_double(row, timeColumn), -9e18, 9e18);
        earliest = qint64(std::floor(time));
        latest = qint64(std::ceil(time));
        break;
    }
    default:
        earliest = latest = kNoTime;
    }
    const qint64 number = testidx / kSpanLength;
    ++_sampleCount;
    if (_spans.empty() || _spans.back().number != number) {
        _spans.push_back({number, earliest, latest, 1});
        _prefixMaximum.push_back(_prefixMaximum.empty() ? latest : std::max(latest, _prefixMaximum.back()));
    } else {
        Span &span = _spans.back();
        span.minTime = std::min(span.minTime, earliest);
        span.maxTime = std::max(span.maxTime, latest);
        ++span.samples;
        _prefixMaximum.back() = std::max(_prefixMaximum.back(), latest);
    }
    _suffixMinimum.clear();
}

// Keeps the complete spans (all but the last, which may still grow) in the side table. A file
// that cannot take them (read-only) keeps them in memory only, and is not asked again.
void CWLogTimeSpans::_store()
{
    const size_t complete = _spans.empty() ? 0 : _spans.size() - 1;
    if (!_db || _storeFailed || complete <= _storedSpans)
        return;
    const bool ownTransaction = sqlite3_get_autocommit(_db);
    const Sqlite::Statement insert =
        execute(_db, "CREATE TABLE IF NOT EXISTS battlog_timespans (span INTEGER PRIMARY KEY, mintime INTEGER, "
                     "maxtime INTEGER, samples INTEGER)")
            ? prepare(_db, "INSERT OR REPLACE INTO battlog_timespans (span, mintime, maxtime, samples) "
                           "VALUES (?1, ?2, ?3, ?4)")
            : nullptr;
    bool stored = insert && (!ownTransaction || execute(_db, "BEGIN"));
    for (size_t i = _storedSpans; stored && i < complete; ++i) {
        const Sqlite::StatementUse use(insert);
        sqlite3_bind_int64(use, 1, _spans[i].number);
        sqlite3_bind_int64(use, 2, _spans[i].minTime);
        sqlite3_bind_int64(use, 3, _spans[i].maxTime);
        sqlite3_bind_int64(use, 4, _spans[i].samples);
        stored = sqlite3_step(use) == SQLITE_DONE;
    }
    if (ownTransaction)
        stored = stored && execute(_db, "COMMIT");
    if (ownTransaction && !sqlite3_get_autocommit(_db))
        execute(_db, "ROLLBACK");
    _storeFailed = !stored;
    if (stored)
        _storedSpans = complete;
}

const std::vector<qint64> &CWLogTimeSpans::_suffixMinimumUpToDate()
{
    if (_suffixMinimum.size() != _spans.size()) {
        _suffixMinimum.resize(_spans.size());
        qint64 earliest = kNoTime;
        for (size_t i = _spans.size(); i-- > 0;)
            _suffixMinimum[i] = earliest = std::min(earliest, _spans[i].minTime);
    }
    return _suffixMinimum;
}

std::optional<qint64> CWLogTimeSpans::firstAtOrAfter(qint64 time, bool &ok)
{
    ok = caughtUp();
    if (!ok)
        return std::nullopt;
    // Spans before the first whose running maximum reaches the time cannot hold it.
    auto first = std::lower_bound(_prefixMaximum.begin(), _prefixMaximum.end(), time) - _prefixMaximum.begin();
    for (size_t i = size_t(first); i < _spans.size(); ++i) {
        if (_spans[i].maxTime < time)
            continue;
        const std::optional<qint64> found = _scanSpan(_spans[i], time, true, ok);
        if (found || !ok)
            return found;
    }
    return std::nullopt;
}

std::optional<qint64> CWLogTimeSpans::lastAtOrBefore(qint64 time, bool &ok)
{
    ok = caughtUp();
    if (!ok)
        return std::nullopt;
    // Spans after the last whose running minimum to the end reaches down to the time cannot hold it.
    const std::vector<qint64> &suffix = _suffixMinimumUpToDate();
    for (auto i = std::upper_bound(suffix.begin(), suffix.end(), time) - suffix.begin(); i-- > 0;) {
        if (_spans[size_t(i)].minTime > time)
            continue;
        const std::optional<qint64> found = _scanSpan(_spans[size_t(i)], time, false, ok);
        if (found || !ok)
            return found;
    }
    return std::nullopt;
}

std::optional<qint64> CWLogTimeSpans::_scanSpan(const Span &span, qint64 time, bool first, bool &ok)
{
    static const char *const firstSql =
        "SELECT testidx FROM battlog WHERE testidx >= ?1 AND testidx <= ?2 AND time >= ?3 ORDER BY testidx LIMIT 1";
    static const char *const lastSql = "SELECT testidx FROM battlog WHERE testidx >= ?1 AND testidx <= ?2 AND "
                                       "time <= ?3 ORDER BY testidx DESC LIMIT 1";
    Sqlite::Statement &kept = first ? _scanFirst : _scanLast;
    if (!kept)
        kept = prepare(_db, first ? firstSql : lastSql);
    ok = bool(kept);
    if (!ok) {
        reportFailure(_db, first ? firstSql : lastSql);
        return std::nullopt;
    }
    const Sqlite::StatementUse scan(kept);
    sqlite3_bind_int64(scan, 1, span.number * kSpanLength);
    sqlite3_bind_int64(scan, 2, span.number * kSpanLength + kSpanLength - 1);
    sqlite3_bind_int64(scan, 3, time);
    const int status = sqlite3_step(scan);
    ok = status == SQLITE_ROW || status == SQLITE_DONE;
    if (!ok)
        reportFailure(_db, first ? firstSql : lastSql);
    return status == SQLITE_ROW ? std::optional(sqlite3_column_int64(scan, 0)) : std::nullopt;
}

void CWLogTimeSpans::clear()
{
    _spans.clear();
    _prefixMaximum.clear();
    _suffixMinimum.clear();
    _summarisedUpTo = 0;
    _storedSpans = 0;
    _sampleCount = 0;
    _loaded = true;
    execute(_db, "DELETE FROM battlog_timespans");
}

std::optional<std::pair<qint64, qint64>> CWLogTimeSpans::timeRange()
{
    if (_spans.empty())
        return std::nullopt;
    return std::pair(_suffixMinimumUpToDate().front(), _prefixMaximum.back());
}

std::optional<qint64> CWLogTimeSpans::countLaterThan(qint64 time)
{
    static const char *const sql = "SELECT count(*) FROM battlog WHERE testidx >= ?1 AND testidx <= ?2 AND time > ?3";
    if (!_countLater)
        _countLater = prepare(_db, sql);
    if (!_countLater) {
        reportFailure(_db, sql);
        return std::nullopt;
    }
    // Whole spans where they lie above the time, a count only where the time falls inside one.
    qint64 later = 0;
    for (const Span &span : _spans) {
        if (span.minTime > time) {
            later += span.samples;
        } else if (span.maxTime > time) {
            const Sqlite::StatementUse count(_countLater);
            sqlite3_bind_int64(count, 1, span.number * kSpanLength);
            sqlite3_bind_int64(count, 2, span.number * kSpanLength + kSpanLength - 1);
            sqlite3_bind_int64(count, 3, time);
            if (sqlite3_step(count) != SQLITE_ROW) {
                reportFailure(_db, sql);
                return std::nullopt;
            }
            later += sqlite3_column_int64(count, 0);
        }
    }
    return later;
}

std::vector<std::pair<qint64, qint64>> CWLogTimeSpans::rangesHolding(qint64 earliest, qint64 latest)
{
    std::vector<std::pair<qint64, qint64>> ranges;
    for (const Span &span : _spans) {
        if (span.maxTime < earliest || span.minTime > latest)
            continue;
        const qint64 first = span.number * kSpanLength;
        if (!ranges.empty() && ranges.back().second + 1 == first)
            ranges.back().second = first + kSpanLength - 1;
        else
            ranges.emplace_back(first, first + kSpanLength - 1);
    }
    return ranges;
}
