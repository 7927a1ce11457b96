#include "SqliteStatsStore.h"

#include "Console.h"
#include "SqliteHandles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <mutex>
#include <sqlite3.h>

namespace {

using Sqlite::Statement;

void bindOptional(sqlite3_stmt *statement, int index, const std::optional<qint64> &value)
{
    if (value)
        sqlite3_bind_int64(statement, index, *value);
    else
        sqlite3_bind_null(statement, index);
}

// votes holds, per machine, the figures of its latest complete sample.
const char *const schema = R"(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
PRAGMA foreign_keys = ON;
CREATE TABLE IF NOT EXISTS models (
    pb_modelid INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE, first_seen INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS machines (
    machine_id INTEGER PRIMARY KEY AUTOINCREMENT, pb_modelid INTEGER NOT NULL REFERENCES models,
    registered INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS samples (
    sample_id INTEGER PRIMARY KEY, machine_id INTEGER NOT NULL REFERENCES machines, received INTEGER NOT NULL,
    capacity INTEGER, current INTEGER, amperage INTEGER, voltage INTEGER, designcap INTEGER, cyclecount INTEGER,
    flags TEXT);
CREATE TABLE IF NOT EXISTS votes (
    machine_id INTEGER PRIMARY KEY REFERENCES machines, capacity INTEGER NOT NULL, designcap INTEGER NOT NULL,
    voltage INTEGER NOT NULL, cyclecount INTEGER NOT NULL);
)";

} // namespace

struct SqliteStatsStore::Connection {
    std::mutex mutex;
    Sqlite::Connection db;
    Statement selectModel;
    Statement insertModel;
    Statement insertMachine;
    Statement selectMachine;
    Statement insertSample;
    Statement replaceVote;
    Statement selectModels;
    Statement selectVotes;
    Statement begin;
    Statement commit;
    Statement rollback;

    bool open(const QString &path, bool createSchema);
    bool exec(const char *sql);
    bool run(const Statement &statement);
    bool fail(const char *operation);
    Outcome storeSample(qint64 machineID, const BattSample &sample);
    qint64 modelID(const QString &modelCode);
};

bool SqliteStatsStore::Connection::fail(const char *operation)
{
    Console::line(QStringLiteral("ERROR: statistics database: %1 failed: %2")
                      .arg(QLatin1String(operation), QString::fromUtf8(sqlite3_errmsg(db.get()))));
    return false;
}

bool SqliteStatsStore::Connection::exec(const char *sql)
{
    char *rawMessage = nullptr;
    const int result = sqlite3_exec(db.get(), sql, nullptr, nullptr, &rawMessage);
    const Sqlite::Message message(rawMessage);
    if (result != SQLITE_OK)
        Console::line(QStringLiteral("ERROR: statistics database: %1").arg(QString::fromUtf8(message.get())));
    return result == SQLITE_OK;
}

// For statements without values and rows.
bool SqliteStatsStore::Connection::run(const Statement &statement)
{
    Sqlite::StatementUse use(statement);
    return sqlite3_step(use) == SQLITE_DONE;
}

bool SqliteStatsStore::Connection::open(const QString &path, bool createSchema)
{
    sqlite3 *opened = nullptr;
    const int result =
        sqlite3_open_v2(path.toUtf8().constData(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db.reset(opened);
    if (result != SQLITE_OK)
        return fail("opening");
    sqlite3_busy_timeout(opened, 2000); // ms; another process may briefly hold the file
    // Uploads touch random pages among a million machines and votes; a larger cache spares most reads.
    if (!exec("PRAGMA cache_size = -65536") || (createSchema && !exec(schema))) // KiB
        return false;

    const std::pair<Statement *, const char *> texts[] = {
        {&selectModel, "SELECT pb_modelid FROM models WHERE code = ?"},
        {&insertModel, "INSERT INTO models (code, first_seen) VALUES (?, ?)"},
        {&insertMachine, "INSERT INTO machines (pb_modelid, registered) VALUES (?, ?)"},
        {&selectMachine, "SELECT 1 FROM machines WHERE machine_id = ?"},
        {&insertSample, "INSERT INTO samples (machine_id, received, capacity, current, amperage, voltage, "
                        "designcap, cyclecount, flags) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"},
        {&replaceVote, "INSERT OR REPLACE INTO votes (machine_id, capacity, designcap, voltage, cyclecount) "
                       "VALUES (?, ?, ?, ?, ?)"},
        {&selectModels, "SELECT pb_modelid, code FROM models ORDER BY pb_modelid"},
        {&selectVotes, "SELECT m.pb_modelid, v.capacity, v.designcap, v.voltage, v.cyclecount "
                       "FROM votes v JOIN machines m ON m.machine_id = v.machine_id"},
        {&begin, "BEGIN IMMEDIATE"},
        {&commit, "COMMIT"},
        {&rollback, "ROLLBACK"},
    };
    for (const auto &[statement, sql] : texts) {
        sqlite3_stmt *prepared = nullptr;
        if (sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr) != SQLITE_OK)
            return fail("preparing statements");
        statement->reset(prepared);
    }
    return true;
}

qint64 SqliteStatsStore::Connection::modelID(const QString &modelCode)
{
    const QByteArray code = modelCode.toUtf8();
    {
        Sqlite::StatementUse select(selectModel);
        sqlite3_bind_text(select, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(select) == SQLITE_ROW)
            return sqlite3_column_int64(select, 0);
    }
    Sqlite::StatementUse insert(insertModel);
    sqlite3_bind_text(insert, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
    return sqlite3_step(insert) == SQLITE_DONE ? sqlite3_last_insert_rowid(db.get()) : -1;
}

SqliteStatsStore::SqliteStatsStore() = default;

SqliteStatsStore::~SqliteStatsStore() = default;

bool SqliteStatsStore::open(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        Console::line(QStringLiteral("ERROR: statistics database: cannot create the folder of %1").arg(path));
        return false;
    }
    auto writer = std::make_unique<Connection>();
    auto reader = std::make_unique<Connection>();
    if (!writer->open(path, true) || !reader->open(path, false))
        return false;
    _writer = std::move(writer);
    _reader = std::move(reader);
    return true;
}

qint64 SqliteStatsStore::registerMachine(const QString &modelCode)
{
    if (!_writer)
        return -1;
    Connection &c = *_writer;
    std::lock_guard lock(c.mutex);
    if (!c.run(c.begin))
        return -1;
    qint64 machineID = -1;
    if (const qint64 modelID = c.modelID(modelCode); modelID > 0) {
        Sqlite::StatementUse insert(c.insertMachine);
        sqlite3_bind_int64(insert, 1, modelID);
        sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
        if (sqlite3_step(insert) == SQLITE_DONE)
            machineID = sqlite3_last_insert_rowid(c.db.get());
    }
    // The client keeps machine ids in 32 bits.
    if (machineID <= 0 || machineID > std::numeric_limits<qint32>::max() || !c.run(c.commit)) {
        c.fail("registering a machine");
        c.run(c.rollback);
        return -1;
    }
    return machineID;
}

// Inside a transaction.
StatsStore::Outcome SqliteStatsStore::Connection::storeSample(qint64 machineID, const BattSample &sample)
{
    {
        Sqlite::StatementUse select(selectMachine);
        sqlite3_bind_int64(select, 1, machineID);
        const int found = sqlite3_step(select);
        if (found == SQLITE_DONE)
            return Outcome::UnknownMachine;
        if (found != SQLITE_ROW)
            return Outcome::Failed;
    }
    {
        Sqlite::StatementUse insert(insertSample);
        sqlite3_bind_int64(insert, 1, machineID);
        sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
        const std::optional<qint64> figures[] = {sample.capacity, sample.current,        sample.amperage,
                                                 sample.voltage,  sample.designCapacity, sample.cycleCount};
        for (int i = 0; i < 6; ++i)
            bindOptional(insert, 3 + i, figures[i]);
        if (sample.flags)
            sqlite3_bind_text(insert, 9, sample.flags->data(), int(sample.flags->size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return Outcome::Failed;
    }
    if (!sample.isComplete())
        return Outcome::Stored;
    Sqlite::StatementUse replace(replaceVote);
    sqlite3_bind_int64(replace, 1, machineID);
    sqlite3_bind_int64(replace, 2, *sample.capacity);
    sqlite3_bind_int64(replace, 3, *sample.designCapacity);
    sqlite3_bind_int64(replace, 4, *sample.voltage);
    sqlite3_bind_int64(replace, 5, *sample.cycleCount);
    return sqlite3_step(replace) == SQLITE_DONE ? Outcome::Stored : Outcome::Failed;
}

// An upload waiting for its turn to be written.
struct SqliteStatsStore::Pending {
    qint64 machineID;
    const BattSample &sample;
    Outcome outcome = Outcome::Failed;
    bool written = false;
};

// Uploads that come while others are being written queue up; the first of them then writes the whole
// queue in one transaction, so that one commit serves many uploads.
StatsStore::Outcome SqliteStatsStore::logSample(qint64 machineID, const BattSample &sample)
{
    if (!_writer)
        return Outcome::Failed;
    Pending mine{machineID, sample};
    std::unique_lock lock(_queueMutex);
    _queue.push_back(&mine);
    while (!mine.written) {
        if (_writing) {
            _written.wait(lock);
            continue;
        }
        _writing = true;
        const std::vector<Pending *> batch = std::exchange(_queue, {});
        lock.unlock();
        _writeSamples(batch);
        lock.lock();
        for (Pending *pending : batch)
            pending->written = true;
        _writing = false;
        _written.notify_all();
    }
    return mine.outcome;
}

// All or none: an upload is answered "ok" only once its transaction is committed.
void SqliteStatsStore::_writeSamples(const std::vector<Pending *> &batch)
{
    Connection &c = *_writer;
    std::lock_guard lock(c.mutex);
    if (!c.run(c.begin)) {
        c.fail("storing samples");
        return;
    }
    const bool stored = std::all_of(batch.begin(), batch.end(), [&](Pending *pending) {
        pending->outcome = c.storeSample(pending->machineID, pending->sample);
        return pending->outcome != Outcome::Failed;
    });
    if (stored && c.run(c.commit))
        return;
    c.fail("storing samples");
    c.run(c.rollback);
    for (Pending *pending : batch)
        pending->outcome = pending->outcome == Outcome::UnknownMachine ? Outcome::UnknownMachine : Outcome::Failed;
}

std::optional<std::vector<StatsStore::Model>> SqliteStatsStore::models()
{
    if (!_reader)
        return std::nullopt;
    std::lock_guard lock(_reader->mutex);
    std::vector<Model> models;
    Sqlite::StatementUse select(_reader->selectModels);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select)) == SQLITE_ROW) {
        const auto *code = reinterpret_cast<const char *>(sqlite3_column_text(select, 1));
        models.push_back({sqlite3_column_int64(select, 0), QString::fromUtf8(code)});
    }
    if (step != SQLITE_DONE) {
        _reader->fail("reading the models");
        return std::nullopt;
    }
    return models;
}

std::optional<std::map<qint64, std::vector<Vote>>> SqliteStatsStore::votesByModel()
{
    const std::optional<std::vector<Model>> known = models();
    if (!known)
        return std::nullopt;
    std::map<qint64, std::vector<Vote>> votes;
    for (const Model &model : *known)
        votes[model.id];
    std::lock_guard lock(_reader->mutex);
    Sqlite::StatementUse select(_reader->selectVotes);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(select)) == SQLITE_ROW) {
        votes[sqlite3_column_int64(select, 0)].push_back(
            {sqlite3_column_int64(select, 1), sqlite3_column_int64(select, 2), sqlite3_column_int64(select, 3),
             sqlite3_column_int64(select, 4)});
    }
    if (step != SQLITE_DONE) {
        _reader->fail("reading the votes");
        return std::nullopt;
    }
    return votes;
}
