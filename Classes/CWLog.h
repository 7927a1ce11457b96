#pragma once

#include "SqliteHandles.h"

#include <QDateTime>
#include <QFlags>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CWLogTimeSpans;

// Column-oriented query result: column name (or alias) to one text per row, in row order; a null
// QString stands for SQL NULL. A statement that yields no rows yields nullopt.
using CWLogResult = std::optional<QMap<QString, QStringList>>;

// What an eventlog row records, its eventtype.
enum class CWEventType : int {
    Started = 1,
    Stopped = 2,
    PluggedIn = 3,
    Unplugged = 4,
    BattInstalled = 5,
    BattRemoved = 6,
    BattFull = 7,
    BattNotFull = 8,
    Charging = 9,
    NotCharging = 10,
};

// The significance classes of samples (battlog.significance). New samples are unclassified until
// classified; readers of long ranges select the classified ones they need by a set of classes.
enum class CWSignificance : int {
    Unclassified = 0,
    Other = 1,
    FiveMinuteAnchor = 2,
    HourAnchor = 4,
};
Q_DECLARE_FLAGS(CWSignificances, CWSignificance)
Q_DECLARE_OPERATORS_FOR_FLAGS(CWSignificances)

// Posted when the log had to do something to its file that the user should know of (a damaged file
// moved aside, a file gone while Cellwise ran). The user info is the text that says so.
inline const QString kCWLogNoticeNotification = QStringLiteral("CWLogNoticeNotification");

// The battery history database (battLog3.sqlite): samples in battlog, events in eventlog.
class CWLog {
public:
    // Classifies samples one at a time, in ascending testidx order. The anchors start at 0, so the
    // first sample is always an hour anchor.
    class SignificanceClassifier {
    public:
        // The class of the next sample, logged at time (Unix seconds).
        CWSignificance classify(double time);

    private:
        double _hourAnchor = 0.0;       // seconds
        double _fiveMinuteAnchor = 0.0; // seconds
    };

    // The testidx of a window's first and last row, both included.
    struct IndexRange {
        qint64 first = 0;
        qint64 last = 0;
    };

    // One row of a typed read, its values by column position. NULL and text that is no number are
    // missing; a real read as an integer loses its fraction.
    class Row {
    public:
        explicit Row(sqlite3_stmt *statement)
            : _statement(statement)
        {
        }
        std::optional<qint64> integer(int column) const;
        // NaN when missing.
        double number(int column) const;
        QString text(int column) const;

    private:
        sqlite3_stmt *_statement;
    };

    // Sample indexes sorted into the significance classes, each list in row order.
    struct SignificanceClasses {
        QList<qint64> hourAnchors;
        QList<qint64> fiveMinuteAnchors;
        QList<qint64> others;

        void add(CWSignificance significance, qint64 index);
    };

    // The log file in the support directory; null when there is none.
    static QString sharedLogFile();
    // The log of the application, opened on first use. Null when it could not be opened; that is
    // said once and remembered until resetSharedLog().
    static CWLog *sharedLog();
    // Forgets the shared log (closing it) or its failure, so the next sharedLog() opens the file again.
    static void resetSharedLog();
    // The application's log opened for reading only, as pictures of pages taken beside a running
    // Cellwise need it; null when there is none. Nothing is created or written.
    static std::unique_ptr<CWLog> openSharedLogReadOnly();
    // "<unknown>" for a code no event has.
    static QString stringForEvent(CWEventType code);
    // The battlog columns filled from snapshot keys of the same names, in table order.
    static const QStringList &sampleColumns();
    // Classifies samples given as parallel lists of testidx and time (Unix seconds) texts in
    // ascending testidx order; the anchors start afresh, so the first sample is always an hour anchor.
    static SignificanceClasses classifySignificance(const QStringList &indexes, const QStringList &times);

    // Opens the log at path for writing, creating it (or its tables in an empty database) where
    // needed. A file that is not a sound database, or a folder at the path, is moved aside under a
    // ".damaged-" name and a new log is started; the user is told. So is a file moved away or
    // deleted while the log is open: the next sample starts a new log at the path.
    static std::unique_ptr<CWLog> initWithFile(const QString &path);
    // Reads every page of the log file on its own connection (seconds for ten million samples, so
    // never on the window's thread) and says what is damaged; null when it is sound or the check
    // was cancelled.
    static QString checkWholeFile(const QString &path, std::atomic<bool> &cancelled);
    // Gives a log written by an older version the index a thinned window reads its anchors from, on
    // its own connection (seconds for ten million samples); false, and said, when it could not.
    static bool addAnchorIndex(const QString &path, std::atomic<bool> &cancelled);
    // Moves the damaged file aside and starts a new log in its place, with a start marker; the user
    // is told.
    void setAsideDamaged(const QString &damage);
    ~CWLog();
    CWLog(const CWLog &) = delete;
    CWLog &operator=(const CWLog &) = delete;

    QString logFile() const { return _logFile; }
    bool isOpen() const { return bool(_db); }

    bool logBattDict(const QVariantMap &dict);
    // A null data string writes the event without data.
    bool logEvent(CWEventType code, const QString &data = QString());
    bool logMonitoringStarted();
    bool logMonitoringStopped();

    void vacuum();
    void deleteAll();
    void designifyAll();
    // Closes the connection; later writes report failure and later queries yield nullopt.
    bool closeDB();

    // Classifies every unclassified sample, as one pass of signifySteps.
    void signifyMissing();

    // A classification pass done in bounded steps, so that the window never waits long for it.
    // The anchors and the position carry from step to step: the steps together classify exactly
    // as one call over the same samples would. Samples logged after the pass began wait for the
    // next one.
    struct SignifyPass {
        SignificanceClassifier classifier;
        qint64 firstIndex = 0; // testidx where the pass began
        qint64 nextIndex = 0;  // lowest testidx not yet looked at
        qint64 lastIndex = -1; // highest testidx of the pass
        bool everySample = false;

        bool isDone() const { return nextIndex > lastIndex; }
        double doneFraction() const;
    };
    // The unclassified samples, or (everySample, re-indexing) all of them, classified afresh; a
    // re-index stopped half way leaves every sample with a valid class.
    SignifyPass beginSignify(bool everySample);
    // Looks at up to maxSamples more samples of the pass.
    void signifyStep(SignifyPass &pass, qint64 maxSamples);

    // Invalid dates mean no bound; empty columns mean all columns. lowerIndexBound, when given,
    // receives the lowest testidx the window reads from; it is left alone when the window could not
    // be bounded.
    CWLogResult battLogEntriesFrom(const QDateTime &start, const QDateTime &end, const QStringList &columns,
                                   CWSignificances significances, bool includeUnclassified,
                                   qint64 *lowerIndexBound = nullptr);
    // The testidx of a window's first and last row, as battLogEntriesFrom bounds it; nullopt when
    // the window cannot be bounded.
    std::optional<IndexRange> battLogWindow(const QDateTime &start, const QDateTime &end);
    // The rows of the significances with a testidx in window (from battLogWindow, or a slice of it),
    // each handed to visit as typed values rather than collected as text, with the row's testidx
    // after the columns asked for: for readers of many rows. False when the query failed.
    bool battLogRowsIn(IndexRange window, const QStringList &columns, CWSignificances significances,
                       bool includeUnclassified, const std::function<void(const Row &)> &visit);
    CWLogResult battLogEntriesAboveIndex(quint64 index, const QStringList &columns);
    // The same, at most `limit` rows: the lowest indexes first (long logs are read in steps).
    CWLogResult battLogEntriesAboveIndex(quint64 index, const QStringList &columns, int limit);
    CWLogResult eventLogEntriesAboveIndex(quint64 index);
    // The same events read straight into a compact form, for a reader that keeps all of them (tens
    // of thousands after years of logging). A failed statement is reported and ends the list.
    struct Event {
        qint64 index = 0; // eventidx
        qint64 time = 0;  // Unix seconds; 0 for none
        CWEventType type{};
        QString data; // null for none
    };
    std::vector<Event> eventsAboveIndex(quint64 index);
    CWLogResult eventLogEntriesFrom(const QDateTime &start, const QDateTime &end);
    // The samples in time order, a screenful at a time, for the Event Log page. Samples without a
    // time are left out; a statement that failed reads as no samples.
    // How many samples have a time; the earliest and latest of them (nullopt for none).
    qint64 timedSampleCount();
    std::optional<std::pair<qint64, qint64>> sampleTimeRange();
    // How many samples are later than time (Unix seconds).
    qint64 samplesLaterThan(qint64 time);
    // The samples from earliest to latest (Unix seconds), the latest first, those of one second in
    // testidx order.
    CWLogResult battLogEntriesBetweenTimes(qint64 earliest, qint64 latest, const QStringList &columns);
    // The highest testidx; nullopt for an empty log.
    std::optional<qint64> lastSampleIndex();

    // Reads at most maxSamples samples into the summary that finds a window's bounds; true when
    // it is complete. A long log that has none yet is summarised in such steps after launch, so
    // that the first window shown does not wait for it.
    bool summariseTimes(qint64 maxSamples);

private:
    explicit CWLog(const QString &path);

    static bool _createDatabase(const QString &path);
    static std::unique_ptr<CWLog> _openExisting(const QString &path, bool readOnly);
    static std::unique_ptr<CWLog> _openWritable(const QString &path);
    // Why the open file cannot serve as the log, null when it looks sound; empty tells whether it
    // holds no table at all.
    QString _damage(bool &empty);
    bool _createSchema();
    // Runs a statement; a failure is reported as an sqlite error.
    bool _write(const QString &sql, CWLogResult *rows = nullptr);
    enum class WriteOutcome { Written, Locked, Failed };
    // Runs a statement that changes the log; error receives SQLite's message on failure.
    WriteOutcome _tryWrite(const QString &sql, QString &error);
    // Inserts a row, or holds it while another connection locks the log (see _held). A time (Unix
    // seconds) given is stored instead of the time of writing. The failure to report, null when
    // the row was written or held.
    QString _insert(const QString &table, const QString &columns, const QString &values,
                    std::optional<qint64> time = std::nullopt);
    void _writeHeld();
    // Runs a statement; a failure is reported as a failed query.
    CWLogResult _query(const QString &sql, bool *ok = nullptr);
    // Steps through the rows of a statement; false (and said) when it failed.
    bool _stepRows(const QString &sql, const std::function<void(const Row &)> &visit);
    std::optional<QString> _battLogWindowStatement(IndexRange window, const QStringList &columns,
                                                   CWSignificances significances, bool includeUnclassified,
                                                   bool indexLast);
    bool _closeUncleanRun();
    void _followReplacedFile();
    bool _noteSample(const QStringList &failure);
    void _reopen();
    bool _logMarker(CWEventType code, std::optional<qint64> time = std::nullopt);
    std::optional<qint64> _lookUpIndex(const QString &sql, bool &ok);
    std::optional<qint64> _lowerIndexBound(const QDateTime &start);
    std::optional<qint64> _upperIndexBound(const QDateTime &end);
    void _setSignificance(CWSignificance significance, const QList<qint64> &indexes);
    CWLogTimeSpans &_timeSpans();

    QString _logFile;
    Sqlite::Connection _db;
    std::unique_ptr<CWLogTimeSpans> _spans; // made on first use; after _db, so it ends first
    // Inserts that met another program's lock (a backup, the sqlite3 shell), in order, each with
    // its own time: written before anything new as soon as the lock is gone.
    std::vector<QString> _held;
    // The file open as the log (device and inode), to notice when its path names another file.
    std::pair<quint64, quint64> _fileIdentity;
    QStringList _failureSaid; // the lines said for the failing sample writes, empty while they succeed
    qint64 _samplesLost = 0;  // since the failure began
};
