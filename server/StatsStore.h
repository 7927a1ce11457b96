#pragma once

#include "BattSample.h"
#include "ModelAverages.h"
#include "SqliteHandles.h"

#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The server's SQLite database: the models seen, the registered machines, every uploaded sample and,
// per machine, the latest complete sample (its vote in the averages). Safe to call from several
// threads; calls are serialised.
class StatsStore {
public:
    struct Model {
        qint64 id;
        QString code;
    };
    enum class Outcome { Stored, UnknownMachine, Failed };

    StatsStore();
    ~StatsStore();
    StatsStore(const StatsStore &) = delete;
    StatsStore &operator=(const StatsStore &) = delete;

    // Opens the file, creating it and its folder when needed. False with a console line on failure.
    bool open(const QString &path);

    // A new machine of this model, which joins the model list on first sight; its id, or -1.
    qint64 registerMachine(const QString &modelCode);
    Outcome logSample(qint64 machineID, const BattSample &sample);

    std::vector<Model> models();
    // Every known model with the votes of its machines (possibly none).
    std::map<qint64, std::vector<Vote>> votesByModel();

private:
    struct Statements;

    bool _exec(const char *sql);
    bool _fail(const char *operation);
    qint64 _modelID(const QString &modelCode);

    std::mutex _mutex;
    Sqlite::Connection _db;
    std::unique_ptr<Statements> _statements; // null until open() succeeds; finalized before _db closes
};
