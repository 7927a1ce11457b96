#pragma once

#include "SqliteHandles.h"

#include <QtGlobal>
#include <optional>
#include <vector>

// Finds the first sample at or after a time and the last one at or before it in O(log N), with
// the answers of "first testidx with time >= S" and "last testidx with time <= E", also when the
// clock went backwards for a while, so that times do not grow with testidx.
//
// The samples are summarised per span of kSpanLength testidx values: the earliest and latest time
// in the span. The running maximum over spans from the start finds the first span that can hold a
// time >= S, the running minimum from the end the last span that can hold a time <= E; one
// bounded scan of that span finds the row. Complete spans are kept in the side table
// battlog_timespans, so that an opening reads a few thousand rows instead of the whole log; the
// samples above the last kept span are read when needed.
//
// A summary only has to enclose its span's times: samples deleted later, or written by a program
// that does not know the table, at worst make a scan come up empty, and the search goes on with
// the next span that can hold the time.
class CWLogTimeSpans {
public:
    static constexpr qint64 kSpanLength = 1024; // testidx values per span

    // Reads and writes through db, which the caller keeps open.
    explicit CWLogTimeSpans(sqlite3 *db);

    // Reads at most maxSamples samples not yet summarised; true when none are left. False in ok
    // when a statement failed.
    bool catchUp(qint64 maxSamples, bool &ok);
    // Reads every sample not yet summarised; false when a statement failed.
    bool caughtUp();
    // First testidx with time >= time; nullopt when there is none or (ok false) a statement failed.
    std::optional<qint64> firstAtOrAfter(qint64 time, bool &ok);
    // Last testidx with time <= time; nullopt when there is none or (ok false) a statement failed.
    std::optional<qint64> lastAtOrBefore(qint64 time, bool &ok);
    // Forgets every summary, in memory and in the file (the samples were all deleted).
    void clear();

    // For reading the log in time order, a screenful at a time. Samples without a time are left out.
    // The number of samples with a time, once caught up.
    qint64 sampleCount() const { return _sampleCount; }
    // Earliest and latest time of any sample; nullopt for an empty log.
    std::optional<std::pair<qint64, qint64>> timeRange();
    // How many samples have a time later than time; nullopt when a statement failed.
    std::optional<qint64> countLaterThan(qint64 time);
    // The testidx ranges whose samples can have times from earliest to latest, ascending.
    std::vector<std::pair<qint64, qint64>> rangesHolding(qint64 earliest, qint64 latest);

private:
    struct Span {
        qint64 number = 0;  // testidx / kSpanLength
        qint64 minTime = 0; // Unix seconds
        qint64 maxTime = 0;
        qint64 samples = 0; // with a time
    };

    void _load();
    void _summarise(qint64 testidx, sqlite3_stmt *row, int timeColumn);
    void _store();
    const std::vector<qint64> &_suffixMinimumUpToDate();
    std::optional<qint64> _scanSpan(const Span &span, qint64 time, bool first, bool &ok);

    sqlite3 *_db;
    bool _loaded = false;
    std::vector<Span> _spans;           // ascending
    std::vector<qint64> _prefixMaximum; // latest time in spans 0..i
    std::vector<qint64> _suffixMinimum; // earliest time in spans i..end; empty when stale
    qint64 _summarisedUpTo = 0;         // highest testidx read into _spans
    size_t _storedSpans = 0;            // leading spans already in the side table
    bool _storeFailed = false;          // a read-only file: keep the summary in memory only
    qint64 _sampleCount = 0;            // sum of the spans' samples
    Sqlite::Statement _readSamples;
    Sqlite::Statement _scanFirst;
    Sqlite::Statement _scanLast;
    Sqlite::Statement _countLater;
};
