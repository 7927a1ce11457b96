#pragma once

#include "StatsStore.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// The statistics in one SQLite file. Writes are serialised on one connection, concurrent uploads
// committed together; the snapshot's reads use a second connection, which the write-ahead log lets
// run beside a write.
class SqliteStatsStore final : public StatsStore {
public:
    SqliteStatsStore();
    ~SqliteStatsStore() override;
    SqliteStatsStore(const SqliteStatsStore &) = delete;
    SqliteStatsStore &operator=(const SqliteStatsStore &) = delete;

    // Opens the file, creating it and its folder when needed. False with a console line on failure.
    bool open(const QString &path);

    qint64 registerMachine(const QString &modelCode) override;
    Outcome logSample(qint64 machineID, const BattSample &sample) override;
    std::optional<std::vector<Model>> models() override;
    std::optional<std::map<qint64, std::vector<Vote>>> votesByModel() override;

private:
    struct Connection;
    struct Pending;

    void _writeSamples(const std::vector<Pending *> &batch);

    std::unique_ptr<Connection> _writer; // null until open() succeeds
    std::unique_ptr<Connection> _reader;
    std::mutex _queueMutex;
    std::condition_variable _written;
    std::vector<Pending *> _queue; // uploads waiting while another thread writes
    bool _writing = false;
};
