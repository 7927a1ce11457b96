#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

struct sqlite3;

// Column-oriented query result: column name (or alias) to one text per row, in row order; a null
// QString stands for SQL NULL. A statement that yields no rows yields nullopt.
using CWLogResult = std::optional<QMap<QString, QStringList>>;

// The battery history database (battLog3.sqlite): samples in battlog, events in eventlog.
class CWLog {
public:
    static QString supportDirectory();
    static QString sharedLogFile();
    static CWLog *sharedLog();
    // Forgets the shared log (closing it) so the next sharedLog() opens the file again.
    static void resetSharedLog();
    static QString stringForEvent(int code);

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
    bool closeDB();

    void signifyMissing();

    // Invalid dates mean no bound; empty columns mean all columns.
    CWLogResult battLogEntriesFrom(const QDateTime &start, const QDateTime &end, const QStringList &columns,
                                   int significances, bool includeUnclassified);
    CWLogResult battLogEntriesAboveIndex(quint64 index, const QStringList &columns);
    CWLogResult eventLogEntriesAboveIndex(quint64 index);
    CWLogResult eventLogEntriesFrom(const QDateTime &start, const QDateTime &end);

private:
    explicit CWLog(const QString &path);

    QString _logFile;
    sqlite3 *_db = nullptr;
    bool _hasSentDataToServer = false;
};
