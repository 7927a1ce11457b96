// The statistics server at fleet scale: 1,000,000 registered machines of 50 models with one sample
// each, on SQLite and on PostgreSQL (a cluster of its own, started for the run). Measures an averages
// request at the server and over HTTP, one recomputation of the snapshot the averages come from, and
// uploads per second over HTTP from 8 concurrent keep-alive clients.
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "StatsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <libpq-fe.h>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <thread>

namespace {

constexpr int machineCount = 1000000;
constexpr int modelCount = 50;
constexpr int clientCount = 8;

// Registering a million machines one request at a time would take longer than the measurements;
// after one registration per model through the store, SQL both databases understand adds the rest
// to the store's own tables, each with one sample and its vote.
const char *const fillSql = R"(
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 51 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000)
INSERT INTO machines (pb_modelid, registered) SELECT 1 + i % 50, 0 FROM n;
INSERT INTO samples (machine_id, received, capacity, current, amperage, voltage, designcap, cyclecount, flags)
SELECT machine_id, 0, 4000 + machine_id % 2000, 3000, -1250, 11000 + machine_id % 1500, 6000, machine_id % 900, '11111'
FROM machines;
INSERT INTO votes (machine_id, capacity, designcap, voltage, cyclecount)
SELECT machine_id, capacity, designcap, voltage, cyclecount FROM samples;
COMMIT;
)";

bool fillSqlite(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const bool filled = sqlite3_exec(db, fillSql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return filled;
}

bool fillPostgres(const QString &uri)
{
    PGconn *connection = PQconnectdb(uri.toUtf8().constData());
    PGresult *result = PQexec(connection, fillSql);
    const bool filled = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!filled)
        std::fprintf(stderr, "filling failed: %s\n", PQerrorMessage(connection));
    PQclear(result);
    PQfinish(connection);
    return filled;
}

httplib::Headers uploadHeaders(qint64 machine, qint64 serial)
{
    return {{"CELLW_MACHINECODE", std::to_string(machine)},
            {"CELLW_CAPACITY", std::to_string(4000 + serial % 2000)},
            {"CELLW_CURRENT", "3100"},
            {"CELLW_AMPERAGE", "-1250"},
            {"CELLW_VOLTAGE", std::to_string(11000 + serial % 1500)},
            {"CELLW_DESIGNCAP", "6000"},
            {"CELLW_CYCLECOUNT", std::to_string(serial % 900)},
            {"CELLW_FLAGS", "11111"}};
}

// A throwaway PostgreSQL cluster for the run, with the settings a real one has (it waits for the disk).
class PostgresCluster {
public:
    PostgresCluster()
    {
        const std::string start = _script + " start " + _state + " -c fsync=on";
        QFile uri(QString::fromStdString(_state + "/uri"));
        if (std::system(start.c_str()) == 0 && uri.open(QIODevice::ReadOnly))
            _uri = QString::fromUtf8(uri.readAll().trimmed());
    }
    ~PostgresCluster() { std::system((_script + " stop " + _state).c_str()); }
    QString uri() const { return _uri; }

private:
    const std::string _script = CELLWISE_SOURCE_DIR "/scripts/test-postgres";
    const std::string _state = CELLWISE_BINARY_DIR "/bench-postgres";
    QString _uri;
};

// A populated store with its service on loopback, built on first use and kept for the run.
struct Fleet {
    std::unique_ptr<StatsStore> store;
    std::unique_ptr<StatsService> service;
    std::unique_ptr<StatsHttpServer> http;
    std::thread serving;

    explicit Fleet(const QString &location, bool (*fill)(const QString &))
    {
        store = openStatsStore(location);
        if (!store)
            return;
        for (int model = 0; model < modelCount; ++model)
            store->registerMachine(QStringLiteral("MacBookPro%1,1").arg(model));
        if (!fill(location)) {
            store.reset();
            return;
        }
        service = std::make_unique<StatsService>(*store, ServiceSettings{3, QStringLiteral("1.0"), QString()});
        service->refreshSnapshot();
        HttpLimits unlimited;
        unlimited.burst = unlimited.perSecond = 1e12; // every client comes from 127.0.0.1
        http = std::make_unique<StatsHttpServer>(*service, unlimited);
        http->bind("127.0.0.1", 0);
        serving = std::thread([this] { http->listen(); });
    }
    ~Fleet()
    {
        if (http) {
            http->stop();
            serving.join();
        }
    }

    httplib::Client client() const
    {
        httplib::Client client("127.0.0.1", http->port());
        client.set_keep_alive(true);
        client.set_tcp_nodelay(true);
        return client;
    }
};

// Built on first use, so that a filter that leaves out a backend spares its million rows; kept for the run.
Fleet *fleetFor(const std::string &backend)
{
    static QTemporaryDir dir;
    static Fleet sqlite(dir.path() + QStringLiteral("/server.sqlite"), fillSqlite);
    if (backend == "sqlite")
        return sqlite.service ? &sqlite : nullptr;
    static PostgresCluster cluster;
    static Fleet postgres(cluster.uri(), fillPostgres);
    return postgres.service ? &postgres : nullptr;
}

void averagesHandled(benchmark::State &state, Fleet *fleet)
{
    for (auto _ : state) {
        const StatsReply reply = fleet->service->handle({"POST", "/cellw_averages_2.php", {}, {}});
        benchmark::DoNotOptimize(reply.body.data());
    }
}

void averagesOverHttp(benchmark::State &state, Fleet *fleet)
{
    httplib::Client client = fleet->client();
    for (auto _ : state) {
        const auto reply = client.Post("/cellw_averages_2.php");
        if (!reply || reply->status != 200)
            state.SkipWithError("averages failed");
    }
}

void snapshotRecomputed(benchmark::State &state, Fleet *fleet)
{
    for (auto _ : state) {
        if (!fleet->service->refreshSnapshot())
            state.SkipWithError("recomputation failed");
    }
}

// Uploads through the request handling alone, one at a time: the server's own share of an upload.
void uploadsHandled(benchmark::State &state, Fleet *fleet)
{
    qint64 serial = 0;
    for (auto _ : state) {
        StatsRequest request{"POST", "/cellw_logbatt.php", uploadHeaders(1 + serial * 7919 % machineCount, serial), {}};
        if (fleet->service->handle(request).body != "ok\n")
            state.SkipWithError("upload failed");
        ++serial;
    }
    state.SetItemsProcessed(state.iterations());
}

// Each of the clients uploads for machines of its own, as one keep-alive connection.
void uploadsOverHttp(benchmark::State &state, Fleet *fleet)
{
    httplib::Client client = fleet->client();
    qint64 serial = state.thread_index();
    for (auto _ : state) {
        const auto reply = client.Post("/cellw_logbatt.php", uploadHeaders(1 + serial * 7919 % machineCount, serial));
        if (!reply || reply->status != 200 || reply->body != "ok\n")
            state.SkipWithError("upload failed");
        serial += state.threads();
    }
    state.SetItemsProcessed(state.iterations());
}

template <typename Measure>
benchmark::internal::Benchmark *measure(const char *what, const std::string &backend, Measure measured)
{
    return benchmark::RegisterBenchmark((std::string(what) + "/" + backend).c_str(), [=](benchmark::State &state) {
        Fleet *fleet = fleetFor(backend);
        if (!fleet) {
            state.SkipWithError("no database");
            return;
        }
        measured(state, fleet);
    });
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    for (const std::string backend : {"sqlite", "postgresql"}) {
        measure("AveragesHandled", backend, averagesHandled)->Unit(benchmark::kMicrosecond);
        measure("AveragesOverHttp", backend, averagesOverHttp)->Unit(benchmark::kMicrosecond);
        measure("SnapshotRecomputed", backend, snapshotRecomputed)->Iterations(3)->Unit(benchmark::kMillisecond);
        measure("UploadsHandled", backend, uploadsHandled)->Unit(benchmark::kMicrosecond);
        measure("UploadsOverHttp", backend, uploadsOverHttp)
            ->Threads(clientCount)
            ->MinTime(5)
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
