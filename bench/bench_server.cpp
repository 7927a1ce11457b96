// The statistics server with 100,000 registered machines, each with one sample: uploads per second
// and the latency of the averages, through the request handling alone and over HTTP on loopback.
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "StatsStore.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>
#include <thread>

namespace {

constexpr int machineCount = 100000;
constexpr int modelCount = 20;

StatsRequest uploadRequest(qint64 machine, qint64 capacity)
{
    StatsRequest request{"POST", "/cellw_logbatt.php", {}, {}};
    request.headers = {{"CELLW_MACHINECODE", std::to_string(machine)},
                       {"CELLW_CAPACITY", std::to_string(capacity)},
                       {"CELLW_CURRENT", "3100"},
                       {"CELLW_AMPERAGE", "-1250"},
                       {"CELLW_VOLTAGE", std::to_string(11000 + capacity % 1500)},
                       {"CELLW_DESIGNCAP", "6000"},
                       {"CELLW_CYCLECOUNT", std::to_string(capacity % 900)},
                       {"CELLW_FLAGS", "11111"}};
    return request;
}

// Built once, on first use, and served on loopback until the process ends.
struct PopulatedServer {
    QTemporaryDir dir;
    StatsStore store;
    StatsService service{store, {3, QStringLiteral("1.0"), QString()}};
    std::unique_ptr<StatsHttpServer> http;
    std::thread serving;

    PopulatedServer()
    {
        store.open(dir.path() + QStringLiteral("/server.sqlite"));
        for (int i = 0; i < machineCount; ++i) {
            const qint64 machine = store.registerMachine(QStringLiteral("MacBookPro%1,1").arg(i % modelCount));
            service.handle(uploadRequest(machine, 4000 + i % 2000));
        }
        HttpLimits unlimited;
        unlimited.burst = unlimited.perSecond = 1e12; // one client makes every request here
        http = std::make_unique<StatsHttpServer>(service, unlimited);
        http->bind("127.0.0.1", 0);
        serving = std::thread([this] { http->listen(); });
    }

    ~PopulatedServer()
    {
        http->stop();
        serving.join();
    }

    static PopulatedServer &shared()
    {
        static PopulatedServer server;
        return server;
    }

    httplib::Client client() const
    {
        httplib::Client client("127.0.0.1", http->port());
        client.set_keep_alive(true);
        client.set_tcp_nodelay(true);
        return client;
    }
};

// One upload per iteration through send, which answers with the HTTP status.
template <typename Send>
void uploadEachIteration(benchmark::State &state, Send send)
{
    qint64 i = 0;
    for (auto _ : state) {
        if (send(uploadRequest(1 + i % machineCount, 4000 + i % 2000)) != 200)
            state.SkipWithError("upload failed");
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_UploadHandled(benchmark::State &state)
{
    PopulatedServer &server = PopulatedServer::shared();
    uploadEachIteration(state, [&](const StatsRequest &request) { return server.service.handle(request).status; });
}
BENCHMARK(BM_UploadHandled)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_UploadOverHttp(benchmark::State &state)
{
    httplib::Client client = PopulatedServer::shared().client();
    uploadEachIteration(state, [&](const StatsRequest &request) {
        const auto reply = client.Post(request.path, request.headers);
        return reply ? reply->status : -1;
    });
}
BENCHMARK(BM_UploadOverHttp)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_AveragesHandled(benchmark::State &state)
{
    PopulatedServer &server = PopulatedServer::shared();
    for (auto _ : state) {
        const StatsReply reply = server.service.handle({"POST", "/cellw_averages_2.php", {}, {}});
        benchmark::DoNotOptimize(reply.body.data());
    }
}
BENCHMARK(BM_AveragesHandled)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_AveragesOverHttp(benchmark::State &state)
{
    PopulatedServer &server = PopulatedServer::shared();
    httplib::Client client = server.client();
    for (auto _ : state) {
        const auto reply = client.Post("/cellw_averages_2.php");
        if (!reply || reply->status != 200)
            state.SkipWithError("averages failed");
    }
}
BENCHMARK(BM_AveragesOverHttp)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
