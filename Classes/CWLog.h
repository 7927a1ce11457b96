#pragma once

#include "SqliteHandles.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

// Column-oriented query result: column name (or alias) to one text per row, in row order; a null
// QString stands for SQL NULL. A statement that yields no rows yields nullopt.
using CWLogResult = std::optional<QMap<QString, QStringList>>;

// The battery history database (battLog3.sqlite): samples in battlog, events in eventlog.
class CWLog {
public:
    // Classifies samples one at a time, in ascending testidx order. The anchors start at 0, so the
    // first sample is always an hour anchor.
    class SignificanceClassifier {
    public:
        // The class (4, 2 or 1) of the next sample, logged at time (Unix seconds).
        int classify(double time);

    private:
        double _hourAnchor = 0.0;       // seconds
        double _fiveMinuteAnchor = 0.0; // seconds
    };

    // Sample indexes sorted into the significance classes, each list in row order.
    struct SignificanceClasses {
        QList<qint64> hourAnchors;       // class 4
        QList<qint64> fiveMinuteAnchors; // class 2
        QList<qint64> others;            // class 1
    };

    static QString supportDirectory();
    static QString sharedLogFile();
    static CWLog *sharedLog();
    // Forgets the shared log (closing it) so the next sharedLog() opens the file again.
    static void resetSharedLog();
    static QString stringForEvent(int code);
    // The battlog columns filled from snapshot keys of the same names, in table order.
    static const QStringList &sampleColumns();
    // A snapshot value as a sample stores it (booleans as 1 or 0, arrays comma-joined); a null
    // string for an absent value.
    static QString sampleValueText(const QVariant &value);
    // Classifies samples given as parallel lists of testidx and time (Unix seconds) texts in
    // ascending testidx order; the anchors start afresh, so the first sample is always an hour anchor.
    static SignificanceClasses classifySignificance(const QStringList &indexes, const QStringList &times);

    static std::unique_ptr<CWLog> initWithFile(const QString &path);
    ~CWLog();
    CWLog(const CWLog &) = delete;
    CWLog &operator=(const CWLog &) = delete;

    QString logFile() const { return _logFile; }
    bool hasSentDataToServer() const { return _hasSentDataToServer; }

    bool logBattDict(const QVariantMap &dict, qint64 machineID);
    // A null data string writes the event without data.
    bool logEvent(int code, const QString &data = QString());
    bool logMonitoringStarted();
    bool logMonitoringStopped();

    void vacuum();
    void deleteAll();
    void designifyAll();
    // Closes the connection; later writes report failure and later queries yield nullopt.
    bool closeDB();

    void signifyMissing();

    // Invalid dates mean no bound; empty columns mean all columns. lowerIndexBound, when given,
    // receives the lowest testidx the window reads from; it is left alone when the window could not
    // be bounded.
    CWLogResult battLogEntriesFrom(const QDateTime &start, const QDateTime &end, const QStringList &columns,
                                   int significances, bool includeUnclassified, qint64 *lowerIndexBound = nullptr);
    CWLogResult battLogEntriesAboveIndex(quint64 index, const QStringList &columns);
    // The same, at most `limit` rows: the lowest indexes first (long logs are read in steps).
    CWLogResult battLogEntriesAboveIndex(quint64 index, const QStringList &columns, int limit);
    CWLogResult eventLogEntriesAboveIndex(quint64 index);
    CWLogResult eventLogEntriesFrom(const QDateTime &start, const QDateTime &end);

private:
    explicit CWLog(const QString &path);

    static bool _createDatabase(const QString &path);
    // Runs a statement; a failure is reported as an sqlite error.
    bool _write(const QString &sql, CWLogResult *rows = nullptr);
    // Runs a statement; a failure is reported as a failed query.
    CWLogResult _query(const QString &sql, bool *ok = nullptr);
    void _uploadFirstSample(const QVariantMap &dict, qint64 machineID);
    bool _closeUncleanRun();
    std::optional<qint64> _lookUpIndex(const QString &sql, bool &ok);
    std::optional<qint64> _lowerIndexBound(const QDateTime &start);
    std::optional<qint64> _upperIndexBound(const QDateTime &end);
    void _setSignificance(int significance, const QList<qint64> &indexes);

    QString _logFile;
    Sqlite::Connection _db;
    bool _hasSentDataToServer = false;
};
