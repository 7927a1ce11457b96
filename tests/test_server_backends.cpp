// The statistics store on both backends, the snapshot that the averages are served from, and the
// bounds of a plausible upload.
#include "BattSample.h"
#include "PropertyListParser.h"
#include "StatsService.h"
#include "StatsStore.h"
#include "TestSupport.h"

#include <QFile>
#include <condition_variable>
#include <libpq-fe.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

BattSample sample(qint64 capacity, qint64 voltage = 12500, qint64 cycleCount = 100)
{
    return {capacity, capacity / 2, -1500, voltage, 6000, cycleCount, "11111"};
}

// The URI of the cluster that CTest starts for these tests; empty when none runs.
QString postgresURI()
{
    QFile file(QStringLiteral(CELLWISE_TEST_POSTGRES_URI_FILE));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().trimmed()) : QString();
}

bool postgresExec(const QString &uri, const QString &sql)
{
    PGconn *connection = PQconnectdb(uri.toUtf8().constData());
    PGresult *result = PQexec(connection, sql.toUtf8().constData());
    const bool done = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    EXPECT_TRUE(done) << PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    return done;
}

// A store location of each backend for one test: an SQLite file in a temporary folder, or a schema of
// its own in the test cluster's database, so tests running side by side never meet.
class StoreTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (GetParam() == "sqlite") {
            location = dir.path() + u"/nested/server.sqlite"_s;
            return;
        }
        const QString uri = postgresURI();
        if (uri.isEmpty())
            GTEST_SKIP() << "no PostgreSQL test cluster; ctest starts one";
        static int tests = 0;
        schema = u"test_%1_%2"_s.arg(::getpid()).arg(++tests);
        ASSERT_TRUE(postgresExec(uri, u"CREATE SCHEMA %1"_s.arg(schema)));
        location = uri + u"&options=-csearch_path%3D"_s + schema;
    }
    void TearDown() override
    {
        if (!schema.isEmpty())
            postgresExec(postgresURI(), u"SET client_min_messages = warning; DROP SCHEMA %1 CASCADE"_s.arg(schema));
    }

    std::unique_ptr<StatsStore> open() const
    {
        auto store = openStatsStore(location);
        EXPECT_TRUE(store) << location.toStdString();
        return store;
    }

    QTemporaryDir dir;
    QString schema;
    QString location;
};

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const ::testing::TestParamInfo<std::string> &backend) { return backend.param; });

TEST_P(StoreTest, RegistersMachinesAndModelsAndKeepsThemAcrossReopening)
{
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->registerMachine(u"MacBookPro11,1"_s), 1);
    EXPECT_EQ(store->registerMachine(u"MacBookPro11,1"_s), 2);
    EXPECT_EQ(store->registerMachine(u"MacBookAir6,2"_s), 3);
    ASSERT_EQ(store->logSample(2, sample(5000)), StatsStore::Outcome::Stored);
    store.reset();

    const auto reopened = open();
    ASSERT_TRUE(reopened);
    const auto models = reopened->models();
    ASSERT_TRUE(models);
    ASSERT_EQ(models->size(), 2u);
    EXPECT_EQ(models->at(0).code, u"MacBookPro11,1"_s);
    EXPECT_EQ(models->at(1).code, u"MacBookAir6,2"_s);
    EXPECT_EQ(reopened->votesByModel()->at(models->at(0).id).size(), 1u);
    EXPECT_EQ(reopened->registerMachine(u"MacBookPro11,1"_s), 4) << "ids are never reused";
}

TEST_P(StoreTest, AMachineVotesWithItsLatestCompleteSampleAndAnUnknownOneNotAtAll)
{
    const auto store = open();
    ASSERT_TRUE(store);
    const qint64 pro = store->registerMachine(u"MacBookPro11,1"_s);
    store->registerMachine(u"MacBookAir6,2"_s);
    EXPECT_EQ(store->logSample(pro, sample(5000, 12000, 10)), StatsStore::Outcome::Stored);
    EXPECT_EQ(store->logSample(pro, sample(4900, 12100, 11)), StatsStore::Outcome::Stored);
    BattSample incomplete = sample(1000);
    incomplete.cycleCount.reset();
    EXPECT_EQ(store->logSample(pro, incomplete), StatsStore::Outcome::Stored);
    for (const qint64 unknown : {99, -1})
        EXPECT_EQ(store->logSample(unknown, sample(4000)), StatsStore::Outcome::UnknownMachine) << unknown;

    const auto votes = store->votesByModel();
    ASSERT_TRUE(votes);
    ASSERT_EQ(votes->size(), 2u);
    const std::vector<Vote> &proVotes = votes->begin()->second;
    ASSERT_EQ(proVotes.size(), 1u);
    EXPECT_EQ(std::tuple(proVotes[0].capacity, proVotes[0].designCapacity, proVotes[0].voltage, proVotes[0].cycleCount),
              std::tuple(4900, 6000, 12100, 11));
    EXPECT_TRUE(std::next(votes->begin())->second.empty()) << "a model without votes is still listed";
}

// Two servers on one database, each with two requests at a time, meet a new model together.
TEST_P(StoreTest, ServersSharingTheDatabaseGetDistinctMachinesAndOneRowPerModel)
{
    const std::unique_ptr<StatsStore> servers[] = {open(), open()};
    ASSERT_TRUE(servers[0] && servers[1]);
    constexpr int perThread = 20;
    std::vector<qint64> ids[4];
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            StatsStore &store = *servers[t % 2];
            for (int i = 0; i < perThread; ++i) {
                const qint64 id = store.registerMachine(i % 2 ? u"MacBook8,1"_s : u"MacBookAir7,2"_s);
                ids[t].push_back(id);
                store.logSample(id, sample(4000 + i));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::set<qint64> distinct;
    for (const auto &list : ids)
        distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), 4u * perThread);
    EXPECT_EQ(*distinct.begin(), 1);
    const auto votes = servers[0]->votesByModel();
    ASSERT_TRUE(votes);
    ASSERT_EQ(votes->size(), 2u);
    EXPECT_EQ(votes->begin()->second.size() + std::next(votes->begin())->second.size(), 4u * perThread);
}

TEST_P(StoreTest, AnUnusableLocationOpensNoStoreAndIsLeftAsItWas)
{
    QString unusable = dir.path() + u"/garbage.sqlite"_s;
    QFile garbage(unusable);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    if (GetParam() == "postgresql")
        unusable = u"postgresql:///postgres?host=%1&connect_timeout=2"_s.arg(dir.path());
    EXPECT_FALSE(openStatsStore(unusable));
    EXPECT_FALSE(openStatsStore(garbage.fileName() + u"/server.sqlite"_s)) << "no folder inside a file";
    ASSERT_TRUE(garbage.open(QIODevice::ReadOnly));
    EXPECT_EQ(garbage.readAll(), QByteArray(4096, 'x'));
}

TEST_P(StoreTest, ADroppedConnectionIsReplaced)
{
    if (GetParam() != "postgresql")
        GTEST_SKIP() << "an SQLite file has no connection to lose";
    const QString name = u"dropped_%1"_s.arg(schema);
    location += u"&application_name="_s + name;
    const auto store = open();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->registerMachine(u"MacBookPro11,1"_s), 1);
    ASSERT_TRUE(postgresExec(postgresURI(), QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                                           "WHERE application_name = '%1'")
                                                .arg(name)));
    store->registerMachine(u"MacBookPro11,1"_s); // finds the connection gone
    EXPECT_GT(store->registerMachine(u"MacBookPro11,1"_s), 1);
}

// ---- Snapshot -----------------------------------------------------------------------------------

// A store of one model whose reads can be held up or made to fail.
class HeldStore : public StatsStore {
public:
    qint64 registerMachine(const QString &) override { return -1; }
    Outcome logSample(qint64, const BattSample &) override { return Outcome::Failed; }
    std::optional<std::vector<Model>> models() override
    {
        return failing ? std::nullopt : std::optional(std::vector<Model>{{1, u"MacBookPro11,1"_s}});
    }
    std::optional<std::map<qint64, std::vector<Vote>>> votesByModel() override
    {
        std::unique_lock lock(mutex);
        reading = true;
        changed.notify_all();
        changed.wait(lock, [this] { return !held; });
        reading = false;
        if (failing)
            return std::nullopt;
        return std::map<qint64, std::vector<Vote>>{{1, std::vector<Vote>(votes, {5000, 6000, 12500, 100})}};
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool reading = false;
    bool failing = false;
    size_t votes = 3;
};

QString averagesStatus(StatsService &service)
{
    const StatsReply reply = service.handle({"POST", "/cellw_averages_2.php", {}, {}});
    const QVariantList records = PropertyListParser::parse(QByteArray::fromStdString(reply.body)).toList();
    return records.isEmpty() ? u"none"_s : records[0].toMap().value(u"status"_s).toString();
}

TEST(StatsSnapshot, RequestsGetTheLatestSnapshotAndNeverWaitForTheNext)
{
    HeldStore store;
    StatsService service(store, {4, u"1.0"_s, QString()});
    EXPECT_EQ(averagesStatus(service), u"none"_s) << "nothing is read before the first snapshot";
    ASSERT_TRUE(service.refreshSnapshot());
    EXPECT_EQ(averagesStatus(service), u"toosmall"_s);

    store.votes = 4;
    EXPECT_EQ(averagesStatus(service), u"toosmall"_s) << "served from the snapshot, not the store";
    {
        std::lock_guard lock(store.mutex);
        store.held = true;
    }
    std::thread refreshing([&] { service.refreshSnapshot(); });
    {
        std::unique_lock lock(store.mutex);
        store.changed.wait(lock, [&] { return store.reading; });
    }
    EXPECT_EQ(averagesStatus(service), u"toosmall"_s) << "answered during the recomputation";
    {
        std::lock_guard lock(store.mutex);
        store.held = false;
    }
    store.changed.notify_all();
    refreshing.join();
    EXPECT_EQ(averagesStatus(service), u"ok"_s);

    store.failing = true;
    EXPECT_FALSE(service.refreshSnapshot());
    EXPECT_EQ(averagesStatus(service), u"ok"_s) << "a failed read keeps the last snapshot";
}

// ---- Plausible uploads --------------------------------------------------------------------------

TEST(PlausibleUpload, BoundsHoldAtTheirEdges)
{
    const struct {
        std::vector<std::pair<std::string, std::string>> changed;
        bool accepted;
    } rows[] = {
        {{{"CELLW_CAPACITY", "100"}, {"CELLW_CURRENT", "50"}}, true},
        {{{"CELLW_CAPACITY", "99"}, {"CELLW_CURRENT", "50"}}, false},
        {{{"CELLW_CAPACITY", "200000"}, {"CELLW_DESIGNCAP", "100000"}}, true},
        {{{"CELLW_CAPACITY", "200001"}, {"CELLW_DESIGNCAP", "200000"}}, false},
        {{{"CELLW_DESIGNCAP", "100"}, {"CELLW_CAPACITY", "200"}, {"CELLW_CURRENT", "200"}}, true},
        {{{"CELLW_DESIGNCAP", "99"}, {"CELLW_CAPACITY", "150"}, {"CELLW_CURRENT", "150"}}, false},
        {{{"CELLW_DESIGNCAP", "200000"}}, true},
        {{{"CELLW_DESIGNCAP", "200001"}}, false},
        {{{"CELLW_CAPACITY", "12000"}, {"CELLW_CURRENT", "12000"}}, true}, // twice the design capacity
        {{{"CELLW_CAPACITY", "12001"}}, false},
        {{{"CELLW_CURRENT", "12001"}}, false},
        {{{"CELLW_VOLTAGE", "2500"}}, true},
        {{{"CELLW_VOLTAGE", "2499"}}, false},
        {{{"CELLW_VOLTAGE", "30000"}}, true},
        {{{"CELLW_VOLTAGE", "30001"}}, false},
        {{{"CELLW_CYCLECOUNT", "0"}}, true},
        {{{"CELLW_CYCLECOUNT", "-1"}}, false},
        {{{"CELLW_CYCLECOUNT", "100000"}}, true},
        {{{"CELLW_CYCLECOUNT", "100001"}}, false},
        {{{"CELLW_CAPACITY", "(null)"}, {"CELLW_CURRENT", "12000"}}, true}, // what is missing is not checked
        {{{"CELLW_VOLTAGE", "nan"}}, false},
        {{{"CELLW_VOLTAGE", "inf"}}, false},
        {{{"CELLW_VOLTAGE", "1.2e4"}}, false},
        {{{"CELLW_VOLTAGE", "12000.5"}}, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.changed));
        httplib::Headers headers{{"CELLW_MACHINECODE", "7"},  {"CELLW_CAPACITY", "5000"}, {"CELLW_CURRENT", "3000"},
                                 {"CELLW_AMPERAGE", "-1500"}, {"CELLW_VOLTAGE", "12000"}, {"CELLW_DESIGNCAP", "6000"},
                                 {"CELLW_CYCLECOUNT", "100"}, {"CELLW_FLAGS", "11111"}};
        for (const auto &[field, value] : row.changed) {
            headers.erase(field);
            headers.emplace(field, value);
        }
        std::string error;
        EXPECT_EQ(parseBattUpload(headers, error).has_value(), row.accepted) << error;
        EXPECT_EQ(error.empty(), row.accepted) << "a refusal says why";
    }
}

} // namespace
