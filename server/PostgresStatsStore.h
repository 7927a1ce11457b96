#pragma once

#include "StatsStore.h"

#include <QByteArray>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// The statistics in a PostgreSQL database that several server processes may share. Requests take
// a connection of their own from a small pool, so uploads run side by side and the database
// commits them in groups; the snapshot's long read holds just one.
class PostgresStatsStore final : public StatsStore {
public:
    explicit PostgresStatsStore(int maxConnections = 8);
    ~PostgresStatsStore() override;
    PostgresStatsStore(const PostgresStatsStore &) = delete;
    PostgresStatsStore &operator=(const PostgresStatsStore &) = delete;

    // Connects to a libpq connection URI and creates the tables when missing. False with a console
    // line on failure.
    bool open(const QString &uri);

    qint64 registerMachine(const QString &modelCode) override;
    Outcome logSample(qint64 machineID, const BattSample &sample) override;
    std::optional<std::vector<Model>> models() override;
    std::optional<std::map<qint64, std::vector<Vote>>> votesByModel() override;

private:
    struct Connection;
    class Lease;

    std::unique_ptr<Connection> _take();
    void _give(std::unique_ptr<Connection> connection);

    QByteArray _uri;
    const int _maxConnections;
    std::mutex _mutex;
    std::condition_variable _returned;
    std::vector<std::unique_ptr<Connection>> _idle;
    int _connections = 0; // idle and lent
};
