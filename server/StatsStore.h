#pragma once

#include "BattSample.h"
#include "ModelAverages.h"

#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// Where the server keeps the models seen, the registered machines, every uploaded sample and, per
// machine, the latest complete sample (its vote in the averages). Implementations are safe to call
// from several threads, and reading never waits for writing. Several server processes may share
// one store: all that must stay consistent lives in the database.
class StatsStore {
public:
    struct Model {
        qint64 id;
        QString code;
    };
    enum class Outcome { Stored, UnknownMachine, Failed };

    virtual ~StatsStore() = default;

    // A new machine of this model, which joins the model list on first sight; its id, or -1.
    virtual qint64 registerMachine(const QString &modelCode) = 0;
    virtual Outcome logSample(qint64 machineID, const BattSample &sample) = 0;

    // nullopt, with a console line, when the database could not be read.
    virtual std::optional<std::vector<Model>> models() = 0;
    // Every known model with the votes of its machines (possibly none).
    virtual std::optional<std::map<qint64, std::vector<Vote>>> votesByModel() = 0;
};

// A PostgreSQL store for a libpq connection URI ("postgresql://..."), else an SQLite file at that
// path; tables are created when missing. Null with a console line when it cannot be opened.
std::unique_ptr<StatsStore> openStatsStore(const QString &location);
