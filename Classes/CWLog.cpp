#include "CWLog.h"

#include "BatteryKeys.h"
#include "CWLogTimeSpans.h"
#include "Console.h"
#include "NotificationCenter.h"
#include "PropertyListWriter.h"
#include "SqliteHandles.h"
#include "SupportDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace {

// How long a write waits for another connection's lock before it is held instead: the window
// must not wait for the log.
constexpr int kBusyTimeoutMs = 50;
// Held inserts: an hour of samples at one a second.
constexpr size_t kMaxHeldInserts = 3600;
const QString kLogFileName = QStringLiteral("/battLog3.sqlite");

// The columns a query names, or all of them.
QString selectedColumns(const QStringList &columns)
{
    return columns.isEmpty() ? QStringLiteral("*") : columns.join(QLatin1Char(','));
}

const QString kLogFailure = QStringLiteral("Failed to log battery info.");
const QString kStartFailure = QStringLiteral("ERROR: Failure in [CWLog logMonitoringStarted]");
const QString kStopFailure = QStringLiteral("ERROR: Failure in [CWLog logMonitoringStopped]");

// Samples classified per step: a few tens of milliseconds of work.
constexpr qint64 kSignifyStepSamples = 20000;

// Upper testidx bound of a window without an end date: the largest unsigned 32-bit value.
constexpr qint64 kNoUpperIndexBound = 4294967295LL;

struct ColumnDefinition {
    QString name;
    const char *type;
};

// The sample columns filled from the snapshot keys of the same name, in table order.
const std::vector<ColumnDefinition> &valueColumns()
{
    static const std::vector<ColumnDefinition> columns = {
        {BatteryKey::AdapterInfo, "INTEGER"},
        {BatteryKey::Amperage, "INTEGER"},
        {BatteryKey::AvgTimeToEmpty, "INTEGER"},
        {BatteryKey::AvgTimeToFull, "INTEGER"},
        {BatteryKey::BatteryInstalled, "INTEGER"},
        {BatteryKey::BatteryInvalidWakeSeconds, "INTEGER"},
        {BatteryKey::BatterySerialNumber, "TEXT"},
        {BatteryKey::CellVoltage, "TEXT"},
        {BatteryKey::CurrentCapacity, "INTEGER"},
        {BatteryKey::CycleCount, "INTEGER"},
        {BatteryKey::DesignCapacity, "INTEGER"},
        {BatteryKey::DesignCycleCount70, "INTEGER"},
        {BatteryKey::DesignCycleCount9C, "INTEGER"},
        {BatteryKey::DeviceName, "TEXT"},
        {BatteryKey::ExternalChargeCapable, "INTEGER"},
        {BatteryKey::ExternalConnected, "INTEGER"},
        {BatteryKey::FirmwareSerialNumber, "INTEGER"},
        {BatteryKey::FullyCharged, "INTEGER"},
        {BatteryKey::InstantAmperage, "INTEGER"},
        {BatteryKey::InstantTimeToEmpty, "INTEGER"},
        {BatteryKey::IsCharging, "INTEGER"},
        {BatteryKey::Location, "INTEGER"},
        {BatteryKey::ManufactureDate, "INTEGER"},
        {BatteryKey::Manufacturer, "TEXT"},
        {BatteryKey::MaxCapacity, "INTEGER"},
        {BatteryKey::MaxErr, "INTEGER"},
        {BatteryKey::PermanentFailureStatus, "INTEGER"},
        {BatteryKey::PostChargeWaitSeconds, "INTEGER"},
        {BatteryKey::PostDischargeWaitSeconds, "INTEGER"},
        {BatteryKey::Temperature, "INTEGER"},
        {BatteryKey::TimeRemaining, "INTEGER"},
        {BatteryKey::Voltage, "INTEGER"},
    };
    return columns;
}

QString createTableStatement(const QString &table, const QStringList &definitions)
{
    const QString indent = QStringLiteral("\t\t\t\t");
    return QStringLiteral("CREATE TABLE ") + table + QStringLiteral(" (") + indent
           + definitions.join(QStringLiteral(", ") + indent) + QLatin1Char(' ') + indent + QLatin1Char(')');
}

// The anchors' plotted values in time order: a thinned window (a month, a year) reads its anchors
// from this small index alone instead of from rows spread over the whole file. A statement uses it
// when it names "significance > 1".
const QString kAnchorIndexStatement =
    QStringLiteral("CREATE INDEX IF NOT EXISTS battlog_anchor_idx ON battlog (significance, testidx, time, Voltage, "
                   "Temperature, CurrentCapacity, MaxCapacity, Amperage) WHERE significance > 1");

QStringList schemaStatements()
{
    QStringList battlog = {QStringLiteral("testidx INTEGER PRIMARY KEY AUTOINCREMENT"),
                           QStringLiteral("significance INTEGER DEFAULT (0)"),
                           QStringLiteral("time INTEGER DEFAULT (strftime('%s','now'))")};
    for (const ColumnDefinition &column : valueColumns())
        battlog << column.name + QLatin1Char(' ') + QLatin1String(column.type);
    const QStringList eventlog = {QStringLiteral("eventidx INTEGER PRIMARY KEY AUTOINCREMENT"),
                                  QStringLiteral("time INTEGER DEFAULT (strftime('%s','now'))"),
                                  QStringLiteral("eventtype INTEGER"), QStringLiteral("data TEXT")};
    return {createTableStatement(QStringLiteral("battlog"), battlog),
            createTableStatement(QStringLiteral("eventlog"), eventlog),
            QStringLiteral("CREATE INDEX eventlog_eventtype_idx ON eventlog (eventtype)"),
            QStringLiteral("CREATE INDEX battlog_significance_idx ON battlog (significance)"), kAnchorIndexStatement};
}

// An SQL text literal. A NUL cannot travel inside statement text, so it is dropped rather than
// cutting the statement short.
QString quoted(QString text)
{
    text.remove(QChar(0));
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

// A statement as a failure line names it: long ones (an update of half a million indexes) cut short,
// so that the reason after it still fits the line.
QString shortStatement(const QString &sql)
{
    constexpr qsizetype kMaxLength = 300; // characters
    return sql.size() > kMaxLength ? sql.left(kMaxLength - 1) + QChar(0x2026) : sql;
}

// An insert of values into columns; a time (Unix seconds) given is stored instead of the time of
// writing.
QString insertStatement(const QString &table, const QString &columns, const QString &values, std::optional<qint64> time)
{
    const QString timeColumn = time ? QStringLiteral("time, ") : QString();
    const QString timeValue = time ? QString::number(*time) + QStringLiteral(", ") : QString();
    return QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + timeColumn + columns
           + QStringLiteral(") VALUES (") + timeValue + values + QLatin1Char(')');
}

// Gathers rows column by column. Columns are matched to lists by name once per statement, so
// columns sharing a name share one list, as they share one key of the result.
class RowCollector {
public:
    static int collect(void *context, int count, char **values, char **names)
    {
        auto *rows = static_cast<RowCollector *>(context);
        if (names != rows->_names || count != rows->_slots.size())
            rows->_assignSlots(count, names);
        for (int column = 0; column < count; ++column) {
            const char *value = values[column];
            rows->_columns[rows->_slots[column]] << (value ? QString::fromUtf8(value) : QString());
        }
        return 0;
    }

    CWLogResult result() const
    {
        if (!_names)
            return std::nullopt;
        QMap<QString, QStringList> map;
        for (qsizetype slot = 0; slot < _columnNames.size(); ++slot)
            map.insert(_columnNames[slot], _columns[slot]);
        return map;
    }

private:
    void _assignSlots(int count, char **names)
    {
        _names = names;
        _slots.clear();
        for (int column = 0; column < count; ++column) {
            const QString name = QString::fromUtf8(names[column]);
            qsizetype slot = _columnNames.indexOf(name);
            if (slot < 0) {
                slot = _columnNames.size();
                _columnNames << name;
                _columns.append(QStringList());
            }
            _slots << slot;
        }
    }

    char **_names = nullptr;
    QList<qsizetype> _slots;
    QStringList _columnNames;
    QList<QStringList> _columns;
};

// Runs one statement text; rows, when given, receives what the statement returned (also the rows
// gathered before a failure). On failure error holds SQLite's message.
bool runStatement(sqlite3 *db, const QString &sql, QString &error, CWLogResult *rows = nullptr)
{
    if (!db) {
        error = QStringLiteral("no open database");
        return false;
    }
    RowCollector collector;
    char *rawMessage = nullptr;
    const int status =
        sqlite3_exec(db, sql.toUtf8().constData(), rows ? RowCollector::collect : nullptr, &collector, &rawMessage);
    const Sqlite::Message message(rawMessage);
    if (rows)
        *rows = collector.result();
    if (status == SQLITE_OK)
        return true;
    error = QString::fromUtf8(message ? message.get() : sqlite3_errmsg(db));
    return false;
}

// Moves a log file that cannot be used (or a folder in its place), with the journal files that
// belong to it, to a name beside it that nothing has yet: nothing is deleted or overwritten. The
// new path, or null when it could not be moved.
QString setAside(const QString &path)
{
    const QString base =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    for (int copy = 2; QFileInfo(aside).exists() || QFileInfo(aside).isSymLink(); ++copy)
        aside = base + QLatin1Char('-') + QString::number(copy);
    if (!QDir().rename(path, aside))
        return {};
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        if (QFileInfo::exists(path + suffix))
            QDir().rename(path + suffix, aside + suffix);
    }
    return aside;
}

// What the log did to its file that the user must hear of: one console line, and the window's
// alert through the notification.
void tellUser(const QString &text)
{
    Console::line(text);
    NotificationCenter::defaultCenter().post(kCWLogNoticeNotification, nullptr, text);
}

// The history in a damaged log may still be rescued by hand: it is kept under a new name, so that
// logging can go on in a fresh file, and the user is told. False (and said) when it could not be
// moved.
bool keepAside(const QString &path, const QString &damage)
{
    const QString aside = setAside(path);
    if (aside.isNull()) {
        Console::line(
            QStringLiteral("The battery log %1 is damaged (%2) and could not be moved aside.").arg(path, damage));
        return false;
    }
    tellUser(QStringLiteral("The battery log %1 was damaged (%2). It was moved to %3 and a new log was started.")
                 .arg(path, damage, aside));
    return true;
}

// The file a path names now (device and inode); zeros for none.
std::pair<quint64, quint64> fileIdentity(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {0, 0};
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

// Where an open file of this process now is, found by its identity; null when it was deleted.
QString openFilePath(std::pair<quint64, quint64> identity)
{
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &descriptor : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString path = descriptors.filePath(descriptor);
        if (fileIdentity(path) == identity) {
            const QString target = QFileInfo(path).symLinkTarget();
            return target.endsWith(QStringLiteral(" (deleted)")) ? QString() : target;
        }
    }
    return {};
}

// The shared log, or the failure to open it.
struct SharedLog {
    std::unique_ptr<CWLog> log;
    bool failed = false;
};

SharedLog &sharedInstance()
{
    static SharedLog shared;
    return shared;
}

} // namespace

CWLog::CWLog(const QString &path)
    : _logFile(path)
{
}

CWLog::~CWLog() = default;

QString CWLog::sharedLogFile()
{
    const QString directory = supportDirectory();
    return directory.isNull() ? QString() : directory + kLogFileName;
}

CWLog *CWLog::sharedLog()
{
    // A log that failed to open is not tried again on every tick; it is said once.
    SharedLog &shared = sharedInstance();
    if (!shared.log && !shared.failed) {
        shared.log = initWithFile(sharedLogFile());
        shared.failed = !shared.log;
        if (shared.failed)
            Console::line(QStringLiteral("Unable to initialize shared CWLog"));
    }
    return shared.log.get();
}

void CWLog::resetSharedLog()
{
    sharedInstance() = SharedLog();
}

std::unique_ptr<CWLog> CWLog::openSharedLogReadOnly()
{
    // Neither the support directory nor the file is created: without a log there is nothing to read.
    const QString directory = supportDirectoryPath();
    const QString path = directory + kLogFileName;
    return !directory.isNull() && QFileInfo(path).isFile() ? _openExisting(path, true) : nullptr;
}

QString CWLog::stringForEvent(CWEventType code)
{
    static const char *const texts[] = {"Cellwise started", "Cellwise stopped", "Plugged in",   "Unplugged",
                                        "Batt installed",   "Batt removed",     "Batt is full", "Batt is not full",
                                        "Is charging",      "Is not charging"};
    const int index = int(code) - 1;
    if (index < 0 || index >= int(std::size(texts)))
        return QStringLiteral("<unknown>");
    return QString::fromLatin1(texts[index]);
}

const QStringList &CWLog::sampleColumns()
{
    static const QStringList names = [] {
        QStringList list;
        for (const ColumnDefinition &column : valueColumns())
            list << column.name;
        return list;
    }();
    return names;
}

std::unique_ptr<CWLog> CWLog::initWithFile(const QString &path)
{
    if (path.isNull())
        return nullptr;
    QString damage = QFileInfo(path).isDir() ? QStringLiteral("a folder") : QString();
    if (damage.isNull()) {
        std::unique_ptr<CWLog> log = _openWritable(path);
        if (!log)
            return nullptr;
        bool empty = false;
        damage = log->_damage(empty);
        if (damage.isNull()) {
            // A write-ahead log: readers never block the writer, and a sample costs a few appended
            // pages and no sync instead of a journal, its pages and four syncs. A committed sample
            // survives a crash of the program; a power cut may take the last seconds. Any SQLite
            // since 3.7 reads it. Set only on a sound file: a damaged one is kept as it was.
            sqlite3_exec(log->_db.get(), "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                         nullptr);
            return !empty || log->_createSchema() ? std::move(log) : nullptr;
        }
    }
    return keepAside(path, damage) ? _openWritable(path) : nullptr;
}

namespace {

// A connection of its own for work off the window's thread, which stops as soon as cancelled is set.
Sqlite::Connection cancellableConnection(const QString &path, int flags, std::atomic<bool> &cancelled)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
    Sqlite::Connection db(raw);
    sqlite3_progress_handler(
        raw, 10000, [](void *flag) { return int(static_cast<std::atomic<bool> *>(flag)->load()); }, &cancelled);
    return db;
}

} // namespace

QString CWLog::checkWholeFile(const QString &path, std::atomic<bool> &cancelled)
{
    const Sqlite::Connection db = cancellableConnection(path, SQLITE_OPEN_READONLY, cancelled);
    QString error;
    CWLogResult rows;
    if (!runStatement(db.get(), QStringLiteral("PRAGMA quick_check"), error, &rows))
        return cancelled ? QString() : error;
    const QStringList verdict = rows ? rows->value(QStringLiteral("quick_check")) : QStringList();
    return verdict == QStringList{QStringLiteral("ok")} ? QString() : verdict.value(0).simplified();
}

bool CWLog::addAnchorIndex(const QString &path, std::atomic<bool> &cancelled)
{
    const Sqlite::Connection db = cancellableConnection(path, SQLITE_OPEN_READWRITE, cancelled);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    QString error;
    if (runStatement(db.get(), kAnchorIndexStatement, error) || cancelled)
        return true;
    Console::line(QStringLiteral("The battery log's index of anchors could not be made (long ranges of the graph "
                                 "read more slowly): ")
                  + error);
    return false;
}

void CWLog::setAsideDamaged(const QString &damage)
{
    _spans.reset();
    _db.reset(); // closed before its file moves, so that its journal files move with it
    if (!keepAside(_logFile, damage))
        return;
    _reopen();
}

std::unique_ptr<CWLog> CWLog::_openWritable(const QString &path)
{
    if (!QFileInfo::exists(path) && !_createDatabase(path))
        return nullptr;
    std::unique_ptr<CWLog> log = _openExisting(path, false);
    if (log)
        log->_fileIdentity = fileIdentity(path);
    return log;
}

// Cheap enough for every opening: a file that is no database fails here. Damage inside, and a file
// cut short, are found by checkWholeFile after launch. (The file's size says nothing at opening: in
// a write-ahead log left by a crash, the newest pages are not in the file yet.)
QString CWLog::_damage(bool &empty)
{
    QString error;
    CWLogResult rows;
    if (!runStatement(_db.get(), QStringLiteral("SELECT count(*) AS tables FROM sqlite_master"), error, &rows))
        return error;
    empty = rows && rows->value(QStringLiteral("tables")) == QStringList{QStringLiteral("0")};
    return {};
}

// A database without any table (a zero-byte file is one) gets the log's tables.
bool CWLog::_createSchema()
{
    for (const QString &statement : schemaStatements()) {
        if (!_write(statement))
            return false;
    }
    return true;
}

std::unique_ptr<CWLog> CWLog::_openExisting(const QString &path, bool readOnly)
{
    std::unique_ptr<CWLog> log(new CWLog(path));
    sqlite3 *db = nullptr;
    const QByteArray file = path.toUtf8();
    // The connection is only ever used from the thread that opened it (the upkeep's threads open their
    // own): no mutex around each call, which a long read makes hundreds of thousands of.
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    const int status = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    log->_db.reset(db);
    if (status != SQLITE_OK) {
        Console::line(QStringLiteral("Can't open existing database: ") + QString::fromUtf8(sqlite3_errmsg(db)));
        return nullptr;
    }
    // A short lock (a checkpoint, another program's quick write) is waited for; a longer one holds
    // the sample instead of losing it.
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return log;
}

// Builds the schema in a scratch file beside the log and moves it into place when complete, so an
// interrupted creation never leaves a half-made database that would then be opened as it is.
bool CWLog::_createDatabase(const QString &path)
{
    QTemporaryFile scratch(path + QStringLiteral(".XXXXXX"));
    if (!scratch.open()) {
        Console::line(QStringLiteral("Can't open database: ") + scratch.errorString());
        return false;
    }
    scratch.close();

    sqlite3 *rawDb = nullptr;
    const int status = sqlite3_open(scratch.fileName().toUtf8().constData(), &rawDb);
    Sqlite::Connection db(rawDb);
    if (status != SQLITE_OK) {
        Console::line(QStringLiteral("Can't open database: ") + QString::fromUtf8(sqlite3_errmsg(rawDb)));
        return false;
    }
    // Each sample changes three pages (the row, the significance index, the row counter), and the
    // write-ahead log appends each changed page whole: 2 KB pages halve what a sample writes.
    sqlite3_exec(rawDb, "PRAGMA page_size = 2048", nullptr, nullptr, nullptr);
    QString error;
    for (const QString &statement : schemaStatements()) {
        if (!runStatement(rawDb, statement, error)) {
            Console::line(QStringLiteral("SQL error: ") + error);
            return false;
        }
    }
    if (sqlite3_close(rawDb) != SQLITE_OK) {
        Console::line(QStringLiteral("Can't close database: ") + QString::fromUtf8(sqlite3_errmsg(rawDb)));
        return false;
    }
    db.release();

    // Another process may have created the log meanwhile; its file wins and ours is dropped.
    QFile made(scratch.fileName());
    if (!made.rename(path) && !QFileInfo::exists(path)) {
        Console::line(QStringLiteral("Can't open database: unable to move the new database to ") + path
                      + QStringLiteral(": ") + made.errorString());
        return false;
    }
    return true;
}

bool CWLog::_write(const QString &sql, CWLogResult *rows)
{
    QString error;
    if (runStatement(_db.get(), sql, error, rows))
        return true;
    Console::line(QStringLiteral("sqlite error: ") + error);
    return false;
}

CWLog::WriteOutcome CWLog::_tryWrite(const QString &sql, QString &error)
{
    if (runStatement(_db.get(), sql, error))
        return WriteOutcome::Written;
    const int code = _db ? sqlite3_errcode(_db.get()) & 0xff : SQLITE_OK;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED ? WriteOutcome::Locked : WriteOutcome::Failed;
}

QString CWLog::_insert(const QString &table, const QString &columns, const QString &values, std::optional<qint64> time)
{
    if (!_held.empty())
        _writeHeld();
    QString error;
    if (_held.empty()) {
        const WriteOutcome outcome = _tryWrite(insertStatement(table, columns, values, time), error);
        if (outcome != WriteOutcome::Locked)
            return outcome == WriteOutcome::Written ? QString() : QStringLiteral("sqlite error: ") + error;
    }
    if (_held.size() >= kMaxHeldInserts)
        return QStringLiteral("The battery log has been locked by another program for an hour; samples are lost "
                              "until it is free.");
    _held.push_back(insertStatement(table, columns, values, time.value_or(QDateTime::currentSecsSinceEpoch())));
    return {};
}

// Writes the held inserts in one transaction, without waiting for the lock: while it lasts they
// stay held for the next try, so a long lock never stalls a tick.
void CWLog::_writeHeld()
{
    sqlite3_busy_timeout(_db.get(), 0);
    QString error;
    bool written = _tryWrite(QStringLiteral("BEGIN IMMEDIATE"), error) == WriteOutcome::Written;
    if (written) {
        for (const QString &statement : _held) {
            // One that fails for another reason than the lock is said and given up.
            if (_tryWrite(statement, error) == WriteOutcome::Failed)
                Console::line(QStringLiteral("sqlite error: ") + error);
        }
        written = _tryWrite(QStringLiteral("COMMIT"), error) == WriteOutcome::Written;
        if (!written)
            _tryWrite(QStringLiteral("ROLLBACK"), error);
    }
    sqlite3_busy_timeout(_db.get(), kBusyTimeoutMs);
    if (!written)
        return;
    _held.clear();
}

CWLogResult CWLog::_query(const QString &sql, bool *ok)
{
    QString error;
    CWLogResult rows;
    const bool succeeded = runStatement(_db.get(), sql, error, &rows);
    if (!succeeded)
        Console::line(QStringLiteral("Query ") + shortStatement(sql) + QStringLiteral(" failed with ") + error);
    if (ok)
        *ok = succeeded;
    return rows;
}

// Looked at before every sample: the user may move or delete the file while Cellwise runs.
void CWLog::_followReplacedFile()
{
    if (!_db || fileIdentity(_logFile) == _fileIdentity)
        return;
    tellUser(QStringLiteral("The battery log %1 was moved, deleted or replaced while Cellwise ran; logging goes on "
                            "in a new log there.")
                 .arg(_logFile));
    const QString movedTo = openFilePath(_fileIdentity);
    _spans.reset();
    _db.reset();
    // SQLite cannot write a file moved away (nor fold its write-ahead log into it), so its last
    // samples stay in the journal files left under the path's name. They must not meet the new log:
    // the write-ahead log goes with the file it belongs to, and the index of it is rebuilt there.
    const QString wal = _logFile + QStringLiteral("-wal");
    if (QFileInfo::exists(wal) && (movedTo.isNull() || !QDir().rename(wal, movedTo + QStringLiteral("-wal"))))
        QFile::remove(wal);
    QFile::remove(_logFile + QStringLiteral("-shm"));
    _reopen();
}

// Opens the file now at the log's path in place of the connection closed before, and begins a run
// in it.
void CWLog::_reopen()
{
    QDir().mkpath(QFileInfo(_logFile).path());
    if (std::unique_ptr<CWLog> fresh = initWithFile(_logFile)) {
        _db = std::move(fresh->_db);
        _fileIdentity = fresh->_fileIdentity;
        logMonitoringStarted();
    }
}

bool CWLog::logBattDict(const QVariantMap &dict)
{
    _followReplacedFile();
    static const QString columns = QLatin1Char('\'') + sampleColumns().join(QStringLiteral("', '")) + QLatin1Char('\'');
    if (!_db)
        return _noteSample({kLogFailure});
    QStringList values;
    for (const QString &column : sampleColumns()) {
        const QString text = PropertyListWriter::valueText(dict.value(column));
        values << (text.isNull() ? QStringLiteral("NULL") : quoted(text));
    }
    const QString failure = _insert(QStringLiteral("battlog"), columns, values.join(QStringLiteral(", ")));
    return _noteSample(failure.isNull() ? QStringList() : QStringList{failure, kLogFailure});
}

// A failure that repeats with every sample is said once, and once more when it ends, with the
// number of samples it cost. True for no failure.
bool CWLog::_noteSample(const QStringList &failure)
{
    if (failure.isEmpty()) {
        if (_samplesLost > 0)
            Console::line(QString::asprintf("Logging battery info works again; %lld samples were lost.", _samplesLost));
        _samplesLost = 0;
        _failureSaid.clear();
        return true;
    }
    ++_samplesLost;
    if (failure != _failureSaid) {
        for (const QString &line : failure)
            Console::line(line);
        _failureSaid = failure;
    }
    return false;
}

bool CWLog::logEvent(CWEventType code, const QString &data)
{
    if (!_db) {
        Console::line(kLogFailure);
        return false;
    }
    const QString type = QString::number(int(code));
    const QString failure = data.isNull() ? _insert(QStringLiteral("eventlog"), QStringLiteral("eventtype"), type)
                                          : _insert(QStringLiteral("eventlog"), QStringLiteral("eventtype, data"),
                                                    type + QStringLiteral(", ") + quoted(data));
    if (failure.isNull())
        return true;
    Console::line(failure);
    Console::line(kLogFailure);
    return false;
}

// A start or stop marker; false (with the failure said) when it could not be written or held.
bool CWLog::_logMarker(CWEventType code, std::optional<qint64> time)
{
    const QString failure =
        _insert(QStringLiteral("eventlog"), QStringLiteral("eventtype"), QString::number(int(code)), time);
    if (!failure.isNull())
        Console::line(failure);
    return failure.isNull();
}

bool CWLog::logMonitoringStarted()
{
    if (!_db || !_closeUncleanRun() || !_logMarker(CWEventType::Started)) {
        Console::line(kStartFailure);
        return false;
    }
    return true;
}

// When the last run started and never wrote its stop marker, writes one a second after that run's
// last sample. False when a statement failed.
// "Last" means last written (highest index), not latest by time: a clock once set back would
// otherwise pick a marker or sample of an older run, and ordering a long log by time costs a full
// scan and sort, while the highest index is one step down the primary key.
bool CWLog::_closeUncleanRun()
{
    CWLogResult lastMarker;
    if (!_write(QString::asprintf("SELECT * FROM eventlog WHERE eventtype IN (%i,%i) ORDER BY eventidx DESC LIMIT 1",
                                  int(CWEventType::Started), int(CWEventType::Stopped)),
                &lastMarker))
        return false;
    if (!lastMarker
        || lastMarker->value(QStringLiteral("eventtype")) != QStringList{QString::number(int(CWEventType::Started))})
        return true;
    const qint64 startTime = lastMarker->value(QStringLiteral("time")).value(0).toLongLong();

    CWLogResult lastSample;
    if (!_write(QStringLiteral("SELECT time FROM battlog ORDER BY testidx DESC LIMIT 1"), &lastSample))
        return false;
    const QStringList sampleTimes = lastSample ? lastSample->value(QStringLiteral("time")) : QStringList();
    if (sampleTimes.size() != 1 || sampleTimes.first().toLongLong() <= startTime)
        return true;
    // A run that died in the second this one starts ends now at the latest: its end is never dated
    // after the start that follows it.
    const qint64 endTime = std::min(sampleTimes.first().toLongLong() + 1, QDateTime::currentSecsSinceEpoch());
    Console::line(QString::asprintf("Batt log did not end cleanly. Logging an end at %lld", endTime));
    return _logMarker(CWEventType::Stopped, endTime);
}

bool CWLog::logMonitoringStopped()
{
    if (!_db || !_logMarker(CWEventType::Stopped)) {
        Console::line(kStopFailure);
        return false;
    }
    return true;
}

void CWLog::vacuum()
{
    _query(QStringLiteral("VACUUM"));
}

void CWLog::deleteAll()
{
    _query(QStringLiteral("DELETE FROM battlog"));
    if (_db)
        _timeSpans().clear();
}

void CWLog::designifyAll()
{
    _query(QStringLiteral("UPDATE battlog SET significance = 0"));
}

bool CWLog::closeDB()
{
    _spans.reset(); // its statements must go before the connection can close
    if (!_db || sqlite3_close(_db.get()) != SQLITE_OK)
        return false;
    _db.release();
    return true;
}

CWSignificance CWLog::SignificanceClassifier::classify(double time)
{
    if (time - _hourAnchor >= 3600.0) {
        _hourAnchor = _fiveMinuteAnchor = time;
        return CWSignificance::HourAnchor;
    }
    if (time - _fiveMinuteAnchor >= 300.0) {
        _fiveMinuteAnchor = time;
        return CWSignificance::FiveMinuteAnchor;
    }
    return CWSignificance::Other;
}

void CWLog::SignificanceClasses::add(CWSignificance significance, qint64 index)
{
    switch (significance) {
    case CWSignificance::HourAnchor:
        hourAnchors << index;
        break;
    case CWSignificance::FiveMinuteAnchor:
        fiveMinuteAnchors << index;
        break;
    default:
        others << index;
    }
}

CWLog::SignificanceClasses CWLog::classifySignificance(const QStringList &indexes, const QStringList &times)
{
    SignificanceClasses classes;
    SignificanceClassifier classifier;
    const qsizetype count = std::min(indexes.size(), times.size());
    for (qsizetype row = 0; row < count; ++row)
        classes.add(classifier.classify(double(times[row].toLongLong())), indexes[row].toLongLong());
    return classes;
}

void CWLog::signifyMissing()
{
    SignifyPass pass = beginSignify(false);
    while (!pass.isDone())
        signifyStep(pass, kSignifyStepSamples);
}

double CWLog::SignifyPass::doneFraction() const
{
    return isDone() ? 1.0 : double(nextIndex - firstIndex) / double(lastIndex - firstIndex + 1);
}

CWLog::SignifyPass CWLog::beginSignify(bool everySample)
{
    SignifyPass pass;
    pass.everySample = everySample;
    bool ok = false;
    const std::optional<qint64> first =
        _lookUpIndex(everySample ? QStringLiteral("SELECT testidx FROM battlog ORDER BY testidx LIMIT 1")
                                 : QStringLiteral(
                                     "SELECT testidx FROM battlog WHERE significance = 0 ORDER BY testidx LIMIT 1"),
                     ok);
    const std::optional<qint64> last =
        first ? _lookUpIndex(QStringLiteral("SELECT testidx FROM battlog ORDER BY testidx DESC LIMIT 1"), ok)
              : std::nullopt;
    if (first && last) {
        pass.firstIndex = pass.nextIndex = *first;
        pass.lastIndex = *last;
    }
    return pass;
}

void CWLog::signifyStep(SignifyPass &pass, qint64 maxSamples)
{
    if (pass.isDone())
        return;
    const CWLogResult rows = _query(
        QString::asprintf("SELECT testidx, time, significance FROM battlog WHERE testidx >= %lld AND testidx <= %lld%s "
                          "ORDER BY testidx LIMIT %lld",
                          pass.nextIndex, pass.lastIndex, pass.everySample ? "" : " AND significance = 0", maxSamples));
    const QStringList indexes = rows ? rows->value(QStringLiteral("testidx")) : QStringList();
    const QStringList times = rows ? rows->value(QStringLiteral("time")) : QStringList();
    const QStringList classes = rows ? rows->value(QStringLiteral("significance")) : QStringList();
    if (indexes.size() < maxSamples || indexes.size() != times.size()) {
        pass.nextIndex = pass.lastIndex + 1; // nothing left, or the log cannot be read: the pass ends
        if (indexes.size() != times.size()) {
            Console::line(QStringLiteral("signifyMissing failed"));
            return;
        }
    }
    if (indexes.isEmpty())
        return;
    if (!pass.isDone())
        pass.nextIndex = indexes.last().toLongLong() + 1;

    // One transaction per step: a few large writes instead of one per class and sample.
    const bool ownTransaction = sqlite3_get_autocommit(_db.get());
    if (ownTransaction)
        _query(QStringLiteral("BEGIN"));
    SignificanceClasses changed;
    for (qsizetype row = 0; row < indexes.size(); ++row) {
        const CWSignificance significance = pass.classifier.classify(double(times[row].toLongLong()));
        if (classes.value(row).toInt() == int(significance))
            continue;
        changed.add(significance, indexes[row].toLongLong());
    }
    _setSignificance(CWSignificance::HourAnchor, changed.hourAnchors);
    _setSignificance(CWSignificance::FiveMinuteAnchor, changed.fiveMinuteAnchors);
    _setSignificance(CWSignificance::Other, changed.others);
    if (ownTransaction)
        _query(QStringLiteral("COMMIT"));
}

void CWLog::_setSignificance(CWSignificance significance, const QList<qint64> &indexes)
{
    if (indexes.isEmpty())
        return;
    QString list;
    list.reserve(indexes.size() * 8);
    for (qint64 index : indexes) {
        if (!list.isEmpty())
            list += QLatin1Char(',');
        list += QString::number(index);
    }
    _query(QString::asprintf("UPDATE battlog SET significance = %i WHERE testidx IN (", int(significance)) + list
           + QLatin1Char(')'));
}

// The single testidx a bound lookup returned, nullopt when it returned none; ok tells whether it ran.
std::optional<qint64> CWLog::_lookUpIndex(const QString &sql, bool &ok)
{
    const CWLogResult rows = _query(sql, &ok);
    const QStringList indexes = rows ? rows->value(QStringLiteral("testidx")) : QStringList();
    if (!ok || indexes.size() != 1)
        return std::nullopt;
    return indexes.first().toLongLong();
}

// Two rows before the first sample at or after start, so that lines reach the window's edge;
// nullopt when a lookup failed.
std::optional<qint64> CWLog::_lowerIndexBound(const QDateTime &start)
{
    if (!start.isValid())
        return 0;
    bool ok = false;
    std::optional<qint64> first = _timeSpans().firstAtOrAfter(start.toSecsSinceEpoch(), ok);
    if (!ok)
        return std::nullopt;
    if (!first) {
        // Nothing logged since the start: the window still gets the two rows before it, not the
        // whole log.
        const std::optional<qint64> last =
            _lookUpIndex(QStringLiteral("SELECT testidx FROM battlog ORDER BY testidx DESC LIMIT 1"), ok);
        if (!ok)
            return std::nullopt;
        first = last.value_or(0) + 1;
    }
    return std::max<qint64>(0, *first - 2);
}

// Two rows after the last sample at or before end; nullopt when a lookup failed.
std::optional<qint64> CWLog::_upperIndexBound(const QDateTime &end)
{
    if (!end.isValid())
        return kNoUpperIndexBound;
    bool ok = false;
    std::optional<qint64> last = _timeSpans().lastAtOrBefore(end.toSecsSinceEpoch(), ok);
    if (!ok)
        return std::nullopt;
    if (!last) {
        // Nothing logged before the end: the two rows after it, not the whole log.
        const std::optional<qint64> first =
            _lookUpIndex(QStringLiteral("SELECT testidx FROM battlog ORDER BY testidx LIMIT 1"), ok);
        if (!ok)
            return std::nullopt;
        last = first.value_or(1) - 1;
    }
    return *last + 2;
}

CWLogTimeSpans &CWLog::_timeSpans()
{
    if (!_spans)
        _spans = std::make_unique<CWLogTimeSpans>(_db.get());
    return *_spans;
}

qint64 CWLog::timedSampleCount()
{
    return _db && _timeSpans().caughtUp() ? _timeSpans().sampleCount() : 0;
}

std::optional<std::pair<qint64, qint64>> CWLog::sampleTimeRange()
{
    return _db && _timeSpans().caughtUp() ? _timeSpans().timeRange() : std::nullopt;
}

qint64 CWLog::samplesLaterThan(qint64 time)
{
    return _db && _timeSpans().caughtUp() ? _timeSpans().countLaterThan(time).value_or(0) : 0;
}

CWLogResult CWLog::battLogEntriesBetweenTimes(qint64 earliest, qint64 latest, const QStringList &columns)
{
    if (!_db || !_timeSpans().caughtUp())
        return std::nullopt;
    QStringList ranges;
    for (const auto &[first, last] : _timeSpans().rangesHolding(earliest, latest))
        ranges << QString::asprintf("testidx BETWEEN %lld AND %lld", first, last);
    if (ranges.isEmpty())
        return std::nullopt;
    return _query(
        QStringLiteral("SELECT ") + selectedColumns(columns) + QStringLiteral(" FROM battlog WHERE (")
        + ranges.join(QStringLiteral(" OR "))
        + QString::asprintf(") AND time >= %lld AND time <= %lld ORDER BY time DESC, testidx", earliest, latest));
}

std::optional<qint64> CWLog::lastSampleIndex()
{
    bool ok = false;
    return _lookUpIndex(QStringLiteral("SELECT testidx FROM battlog ORDER BY testidx DESC LIMIT 1"), ok);
}

bool CWLog::summariseTimes(qint64 maxSamples)
{
    bool ok = false;
    return !_db || _timeSpans().catchUp(maxSamples, ok) || !ok;
}

std::optional<CWLog::IndexRange> CWLog::battLogWindow(const QDateTime &start, const QDateTime &end)
{
    const std::optional<qint64> lower = _lowerIndexBound(start);
    if (!lower)
        return std::nullopt;
    const std::optional<qint64> upper = _upperIndexBound(end);
    if (!upper)
        return std::nullopt;
    return IndexRange{*lower, *upper};
}

std::optional<QString> CWLog::_battLogWindowStatement(IndexRange window, const QStringList &columns,
                                                      CWSignificances significances, bool includeUnclassified,
                                                      bool indexLast)
{
    QStringList anchors;
    for (CWSignificance significance : {CWSignificance::FiveMinuteAnchor, CWSignificance::HourAnchor}) {
        if (significances.testFlag(significance))
            anchors << QString::number(int(significance));
    }
    const bool others = significances.testFlag(CWSignificance::Other);
    if (!includeUnclassified && !others && anchors.isEmpty()) {
        Console::line(QStringLiteral("Batt log entries request specified no significances"));
        return std::nullopt;
    }
    const QString select = QStringLiteral("SELECT %1%2 FROM battlog WHERE testidx >= %3 AND testidx <= %4 AND ")
                               .arg(selectedColumns(columns), indexLast ? QStringLiteral(", testidx") : QString(),
                                    QString::number(window.first), QString::number(window.last));
    if (others || !indexLast) {
        QStringList classes = anchors;
        if (others)
            classes.prepend(QString::number(int(CWSignificance::Other)));
        if (includeUnclassified)
            classes.prepend(QString::number(int(CWSignificance::Unclassified)));
        // With every sample of the window wanted, walking the window's rows in order beats gathering
        // them through the significance index and sorting them; the unary + keeps the index out.
        return select + (others ? QStringLiteral("+") : QString()) + QStringLiteral("significance IN (")
               + classes.join(QLatin1Char(',')) + QStringLiteral(") ORDER BY testidx");
    }
    // A thinned window: its anchors from the anchor index, merged in order with the unclassified
    // rows, which the significance index finds. A compound statement is ordered by a column it
    // selects, hence the index selected last.
    QStringList parts;
    if (!anchors.isEmpty())
        parts << select + QStringLiteral("significance > 1 AND significance IN (") + anchors.join(QLatin1Char(','))
                     + QLatin1Char(')');
    if (includeUnclassified)
        parts << select + QStringLiteral("significance = 0");
    return parts.join(QStringLiteral(" UNION ALL ")) + QStringLiteral(" ORDER BY testidx");
}

CWLogResult CWLog::battLogEntriesFrom(const QDateTime &start, const QDateTime &end, const QStringList &columns,
                                      CWSignificances significances, bool includeUnclassified, qint64 *lowerIndexBound)
{
    const std::optional<IndexRange> window = battLogWindow(start, end);
    if (!window)
        return std::nullopt;
    if (lowerIndexBound)
        *lowerIndexBound = window->first;
    const std::optional<QString> sql =
        _battLogWindowStatement(*window, columns, significances, includeUnclassified, false);
    return sql ? _query(*sql) : std::nullopt;
}

bool CWLog::battLogRowsIn(IndexRange window, const QStringList &columns, CWSignificances significances,
                          bool includeUnclassified, const std::function<void(const Row &)> &visit)
{
    const std::optional<QString> sql =
        _battLogWindowStatement(window, columns, significances, includeUnclassified, true);
    return sql && _stepRows(*sql, visit);
}

CWLogResult CWLog::battLogEntriesAboveIndex(quint64 index, const QStringList &columns)
{
    return _query(QStringLiteral("SELECT ") + selectedColumns(columns)
                  + QString::asprintf(" FROM battlog WHERE testidx > %llu ORDER BY testidx", index));
}

CWLogResult CWLog::battLogEntriesAboveIndex(quint64 index, const QStringList &columns, int limit)
{
    return _query(QStringLiteral("SELECT ") + selectedColumns(columns)
                  + QString::asprintf(" FROM battlog WHERE testidx > %llu ORDER BY testidx LIMIT %d", index, limit));
}

CWLogResult CWLog::eventLogEntriesAboveIndex(quint64 index)
{
    return _query(QString::asprintf("SELECT * FROM eventlog WHERE eventidx > %llu ORDER BY eventidx", index));
}

std::vector<CWLog::Event> CWLog::eventsAboveIndex(quint64 index)
{
    std::vector<Event> events;
    _stepRows(QString::asprintf("SELECT eventidx, time, eventtype, data FROM eventlog WHERE eventidx > %llu ORDER BY "
                                "eventidx",
                                index),
              [&events](const Row &row) {
                  events.push_back({row.integer(0).value_or(0), row.integer(1).value_or(0),
                                    CWEventType(row.integer(2).value_or(0)), row.text(3)});
              });
    return events;
}

bool CWLog::_stepRows(const QString &sql, const std::function<void(const Row &)> &visit)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *rawStatement = nullptr;
    if (_db)
        sqlite3_prepare_v2(_db.get(), text.constData(), -1, &rawStatement, nullptr);
    const Sqlite::Statement statement(rawStatement);
    int status = SQLITE_ERROR;
    while (statement && (status = sqlite3_step(rawStatement)) == SQLITE_ROW)
        visit(Row(rawStatement));
    if (status == SQLITE_DONE)
        return true;
    Console::line(QStringLiteral("Query ") + shortStatement(sql) + QStringLiteral(" failed with ")
                  + (_db ? QString::fromUtf8(sqlite3_errmsg(_db.get())) : QStringLiteral("no open database")));
    return false;
}

std::optional<qint64> CWLog::Row::integer(int column) const
{
    switch (sqlite3_column_type(_statement, column)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_column_int64(_statement, column);
    case SQLITE_NULL:
        return std::nullopt;
    default: {
        bool ok = false;
        const qint64 value = text(column).toLongLong(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }
    }
}

double CWLog::Row::number(int column) const
{
    switch (sqlite3_column_type(_statement, column)) {
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(_statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(_statement, column);
    case SQLITE_NULL:
        return std::numeric_limits<double>::quiet_NaN();
    default: {
        bool ok = false;
        const double value = text(column).toDouble(&ok);
        return ok ? value : std::numeric_limits<double>::quiet_NaN();
    }
    }
}

QString CWLog::Row::text(int column) const
{
    const auto *value = reinterpret_cast<const char *>(sqlite3_column_text(_statement, column));
    return value ? QString::fromUtf8(value) : QString();
}

CWLogResult CWLog::eventLogEntriesFrom(const QDateTime &start, const QDateTime &end)
{
    const qint64 from = start.isValid() ? start.toSecsSinceEpoch() : 0;
    const qint64 to = end.isValid() ? end.toSecsSinceEpoch() : 0;
    if (start.isValid() && end.isValid())
        return _query(QString::asprintf("SELECT * FROM eventlog WHERE time >= %lld AND time <= %lld ORDER BY eventidx",
                                        from, to));
    if (start.isValid())
        return _query(QString::asprintf("SELECT * FROM eventlog WHERE time >= %lld ORDER BY eventidx", from));
    if (end.isValid())
        return _query(QString::asprintf("SELECT * FROM eventlog WHERE time <= %lld ORDER BY eventidx", to));
    return _query(QStringLiteral("SELECT * FROM eventlog ORDER BY eventidx"));
}
