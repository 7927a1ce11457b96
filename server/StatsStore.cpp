#include "StatsStore.h"

#include "Console.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <limits>
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

struct StatsStore::Statements {
    Statement selectModel;
    Statement insertModel;
    Statement insertMachine;
    Statement selectMachine;
    Statement insertSample;
    Statement replaceVote;
    Statement selectModels;
    Statement selectVotes;
};

StatsStore::StatsStore() = default;

StatsStore::~StatsStore() = default;

bool StatsStore::_fail(const char *operation)
{
    Console::line(QStringLiteral("ERROR: statistics database: %1 failed: %2")
                      .arg(QLatin1String(operation), QString::fromUtf8(sqlite3_errmsg(_db.get()))));
    return false;
}

bool StatsStore::_exec(const char *sql)
{
    char *rawMessage = nullptr;
    const int result = sqlite3_exec(_db.get(), sql, nullptr, nullptr, &rawMessage);
    const Sqlite::Message message(rawMessage);
    if (result != SQLITE_OK)
        Console::line(QStringLiteral("ERROR: statistics database: %1").arg(QString::fromUtf8(message.get())));
    return result == SQLITE_OK;
}

bool StatsStore::open(const QString &path)
{
    std::lock_guard lock(_mutex);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        Console::line(QStringLiteral("ERROR: statistics database: cannot create the folder of %1").arg(path));
        return false;
    }
    sqlite3 *db = nullptr;
    const int opened =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    _db.reset(db);
    if (opened != SQLITE_OK) {
        _fail("opening");
        _db.reset();
        return false;
    }
    sqlite3_busy_timeout(db, 2000); // ms; another process may briefly hold the file
    if (!_exec(schema))
        return false;

    auto statements = std::make_unique<Statements>();
    const std::pair<Statement *, const char *> texts[] = {
        {&statements->selectModel, "SELECT pb_modelid FROM models WHERE code = ?"},
        {&statements->insertModel, "INSERT INTO models (code, first_seen) VALUES (?, ?)"},
        {&statements->insertMachine, "INSERT INTO machines (pb_modelid, registered) VALUES (?, ?)"},
        {&statements->selectMachine, "SELECT 1 FROM machines WHERE machine_id = ?"},
        {&statements->insertSample, "INSERT INTO samples (machine_id, received, capacity, current, amperage, voltage, "
                                    "designcap, cyclecount, flags) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"},
        {&statements->replaceVote, "INSERT OR REPLACE INTO votes (machine_id, capacity, designcap, voltage, cyclecount) "
                                   "VALUES (?, ?, ?, ?, ?)"},
        {&statements->selectModels, "SELECT pb_modelid, code FROM models ORDER BY pb_modelid"},
        {&statements->selectVotes, "SELECT m.pb_modelid, v.capacity, v.designcap, v.voltage, v.cyclecount "
                                   "FROM votes v JOIN machines m ON m.machine_id = v.machine_id"},
    };
    for (const auto &[statement, sql] : texts) {
        sqlite3_stmt *prepared = nullptr;
        if (sqlite3_prepare_v3(_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr) != SQLITE_OK)
            return _fail("preparing statements");
        statement->reset(prepared);
    }
    _statements = std::move(statements);
    return true;
}

qint64 StatsStore::_modelID(const QString &modelCode)
{
    const QByteArray code = modelCode.toUtf8();
    {
        Sqlite::StatementUse select(_statements->selectModel);
        sqlite3_bind_text(select, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(select) == SQLITE_ROW)
            return sqlite3_column_int64(select, 0);
    }
    Sqlite::StatementUse insert(_statements->insertModel);
    sqlite3_bind_text(insert, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
    return sqlite3_step(insert) == SQLITE_DONE ? sqlite3_last_insert_rowid(_db.get()) : -1;
}

qint64 StatsStore::registerMachine(const QString &modelCode)
{
    std::lock_guard lock(_mutex);
    if (!_statements || !_exec("BEGIN IMMEDIATE"))
        return -1;
    qint64 machineID = -1;
    if (const qint64 modelID = _modelID(modelCode); modelID > 0) {
        Sqlite::StatementUse insert(_statements->insertMachine);
        sqlite3_bind_int64(insert, 1, modelID);
        sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
        if (sqlite3_step(insert) == SQLITE_DONE)
            machineID = sqlite3_last_insert_rowid(_db.get());
    }
    // The client keeps machine ids in 32 bits.
    if (machineID <= 0 || machineID > std::numeric_limits<qint32>::max() || !_exec("COMMIT")) {
        _fail("registering a machine");
        _exec("ROLLBACK");
        return -1;
    }
    return machineID;
}

StatsStore::Outcome StatsStore::logSample(qint64 machineID, const BattSample &sample)
{
    std::lock_guard lock(_mutex);
    if (!_statements)
        return Outcome::Failed;
    {
        Sqlite::StatementUse select(_statements->selectMachine);
        sqlite3_bind_int64(select, 1, machineID);
        const int found = sqlite3_step(select);
        if (found == SQLITE_DONE)
            return Outcome::UnknownMachine;
        if (found != SQLITE_ROW) {
            _fail("looking up a machine");
            return Outcome::Failed;
        }
    }
    if (!_exec("BEGIN IMMEDIATE"))
        return Outcome::Failed;
    bool stored = false;
    {
        Sqlite::StatementUse insert(_statements->insertSample);
        sqlite3_bind_int64(insert, 1, machineID);
        sqlite3_bind_int64(insert, 2, QDateTime::currentSecsSinceEpoch());
        const std::optional<qint64> figures[] = {sample.capacity, sample.current, sample.amperage,
                                                 sample.voltage, sample.designCapacity, sample.cycleCount};
        for (int i = 0; i < 6; ++i)
            bindOptional(insert, 3 + i, figures[i]);
        if (sample.flags)
            sqlite3_bind_text(insert, 9, sample.flags->data(), int(sample.flags->size()), SQLITE_TRANSIENT);
        stored = sqlite3_step(insert) == SQLITE_DONE;
    }
    if (stored && sample.isComplete()) {
        Sqlite::StatementUse replace(_statements->replaceVote);
        sqlite3_bind_int64(replace, 1, machineID);
        sqlite3_bind_int64(replace, 2, *sample.capacity);
        sqlite3_bind_int64(replace, 3, *sample.designCapacity);
        sqlite3_bind_int64(replace, 4, *sample.voltage);
        sqlite3_bind_int64(replace, 5, *sample.cycleCount);
        stored = sqlite3_step(replace) == SQLITE_DONE;
    }
    if (!stored || !_exec("COMMIT")) {
        _fail("storing a sample");
        _exec("ROLLBACK");
        return Outcome::Failed;
    }
    return Outcome::Stored;
}

std::vector<StatsStore::Model> StatsStore::models()
{
    std::lock_guard lock(_mutex);
    std::vector<Model> models;
    if (!_statements)
        return models;
    Sqlite::StatementUse select(_statements->selectModels);
    while (sqlite3_step(select) == SQLITE_ROW) {
        const auto *code = reinterpret_cast<const char *>(sqlite3_column_text(select, 1));
        models.push_back({sqlite3_column_int64(select, 0), QString::fromUtf8(code)});
    }
    return models;
}

std::map<qint64, std::vector<Vote>> StatsStore::votesByModel()
{
    std::lock_guard lock(_mutex);
    std::map<qint64, std::vector<Vote>> votes;
    if (!_statements)
        return votes;
    {
        Sqlite::StatementUse select(_statements->selectModels);
        while (sqlite3_step(select) == SQLITE_ROW)
            votes[sqlite3_column_int64(select, 0)];
    }
    Sqlite::StatementUse select(_statements->selectVotes);
    while (sqlite3_step(select) == SQLITE_ROW) {
        votes[sqlite3_column_int64(select, 0)].push_back({sqlite3_column_int64(select, 1), sqlite3_column_int64(select, 2),
                                                          sqlite3_column_int64(select, 3), sqlite3_column_int64(select, 4)});
    }
    return votes;
}
