#include "FloodLimiter.h"
#include "ModelAverages.h"
#include "SqliteStatsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

BattSample completeSample(qint64 capacity, qint64 designCapacity = 6000, qint64 voltage = 12500, qint64 cycleCount = 100)
{
    BattSample sample;
    sample.capacity = capacity;
    sample.current = capacity / 2;
    sample.amperage = -1500;
    sample.voltage = voltage;
    sample.designCapacity = designCapacity;
    sample.cycleCount = cycleCount;
    sample.flags = "11111";
    return sample;
}

class StatsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.open(path())); }
    QString path() const { return dir.path() + QStringLiteral("/nested/server.sqlite"); }

    QTemporaryDir dir;
    SqliteStatsStore store;
};

TEST_F(StatsStoreTest, RegistersMachinesWithNewIdsAndListsEachModelOnce)
{
    EXPECT_EQ(store.registerMachine(QStringLiteral("MacBookPro11,1")), 1);
    EXPECT_EQ(store.registerMachine(QStringLiteral("MacBookPro11,1")), 2);
    EXPECT_EQ(store.registerMachine(QStringLiteral("MacBookAir6,2")), 3);
    const std::vector<StatsStore::Model> models = store.models().value();
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[0].code, QStringLiteral("MacBookPro11,1"));
    EXPECT_EQ(models[1].code, QStringLiteral("MacBookAir6,2"));
    EXPECT_NE(models[0].id, models[1].id);
}

TEST_F(StatsStoreTest, KeepsMachinesAndNeverReusesIdsAfterReopening)
{
    store.registerMachine(QStringLiteral("MacBookPro11,1"));
    store.registerMachine(QStringLiteral("MacBookPro11,1"));
    ASSERT_EQ(store.logSample(2, completeSample(5000)), StatsStore::Outcome::Stored);

    SqliteStatsStore reopened;
    ASSERT_TRUE(reopened.open(path()));
    EXPECT_EQ(reopened.models().value().size(), 1u);
    EXPECT_EQ(reopened.votesByModel().value().begin()->second.size(), 1u);
    EXPECT_EQ(reopened.registerMachine(QStringLiteral("MacBookPro11,1")), 3);
}

TEST_F(StatsStoreTest, IgnoresSamplesOfUnknownMachines)
{
    store.registerMachine(QStringLiteral("MacBookPro11,1"));
    EXPECT_EQ(store.logSample(99, completeSample(5000)), StatsStore::Outcome::UnknownMachine);
    EXPECT_EQ(store.logSample(-1, completeSample(5000)), StatsStore::Outcome::UnknownMachine);
    EXPECT_TRUE(store.votesByModel().value().begin()->second.empty());
}

TEST_F(StatsStoreTest, AMachineVotesWithItsLatestCompleteSample)
{
    const qint64 machine = store.registerMachine(QStringLiteral("MacBookPro11,1"));
    store.logSample(machine, completeSample(5000, 6000, 12000, 10));
    store.logSample(machine, completeSample(4900, 6000, 12100, 11));
    BattSample incomplete = completeSample(1);
    incomplete.cycleCount.reset();
    EXPECT_EQ(store.logSample(machine, incomplete), StatsStore::Outcome::Stored);

    const auto votes = store.votesByModel().value();
    ASSERT_EQ(votes.size(), 1u);
    ASSERT_EQ(votes.begin()->second.size(), 1u);
    const Vote vote = votes.begin()->second.front();
    EXPECT_EQ(vote.capacity, 4900);
    EXPECT_EQ(vote.designCapacity, 6000);
    EXPECT_EQ(vote.voltage, 12100);
    EXPECT_EQ(vote.cycleCount, 11);
}

TEST_F(StatsStoreTest, ListsModelsWithoutVotes)
{
    const qint64 pro = store.registerMachine(QStringLiteral("MacBookPro11,1"));
    store.registerMachine(QStringLiteral("MacBookAir6,2"));
    store.logSample(pro, completeSample(5000));
    const auto votes = store.votesByModel().value();
    ASSERT_EQ(votes.size(), 2u);
    EXPECT_EQ(votes.at(store.models().value()[0].id).size(), 1u);
    EXPECT_TRUE(votes.at(store.models().value()[1].id).empty());
}

TEST(StatsStoreFailure, AFileThatIsNoDatabaseFailsEveryCall)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/garbage.sqlite");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    SqliteStatsStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(store.registerMachine(QStringLiteral("MacBookPro11,1")), -1);
    EXPECT_EQ(store.logSample(1, completeSample(5000)), StatsStore::Outcome::Failed);
    EXPECT_FALSE(store.models());
    EXPECT_FALSE(store.votesByModel());
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(4096, 'x')) << "a foreign file is left as it was";
}

TEST(StatsStoreFailure, AFolderThatCannotBeCreatedFailsTheOpen)
{
    QTemporaryDir dir;
    QFile blocker(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SqliteStatsStore store;
    EXPECT_FALSE(store.open(dir.path() + QStringLiteral("/file/server.sqlite")));
}

// ---- Averages ---------------------------------------------------------------------------------

TEST(ModelAverages, SpreadOfOddAndEvenCounts)
{
    const auto check = [](std::vector<qint64> values, qint64 min, qint64 median, qint64 max) {
        const Spread spread = spreadOf(std::move(values));
        EXPECT_EQ(spread.min, min);
        EXPECT_EQ(spread.median, median);
        EXPECT_EQ(spread.max, max);
    };
    check({7}, 7, 7, 7);
    check({5, 1, 3}, 1, 3, 5);
    check({4, 1, 3, 2}, 1, 3, 4);     // 2.5 rounds up
    check({6000, 2000}, 2000, 4000, 6000);
    check({10, 10, 10, 11}, 10, 10, 11);
    check({9, 1, 8, 2, 7, 3}, 1, 5, 9); // middle pair 3 and 7
}

TEST(ModelAverages, RecordGivesFiguresOnlyFromEnoughMachines)
{
    const std::vector<Vote> votes{{5000, 6000, 12500, 100}, {5200, 6000, 12300, 300}, {4800, 6100, 12700, 200}};
    const QVariantMap small = averagesRecord(7, {votes[0], votes[1]}, 3);
    EXPECT_EQ(small, (QVariantMap{{QStringLiteral("pb_modelid"), qint64(7)}, {QStringLiteral("status"), QStringLiteral("toosmall")}}));
    EXPECT_EQ(averagesRecord(7, {}, 1).value(QStringLiteral("status")), QVariant(QStringLiteral("toosmall")));

    const QVariantMap record = averagesRecord(7, votes, 3);
    EXPECT_EQ(record.size(), 14);
    EXPECT_EQ(record.value(QStringLiteral("status")), QVariant(QStringLiteral("ok")));
    const std::pair<const char *, qint64> expected[] = {
        {"min_capacity", 4800}, {"med_capacity", 5000}, {"max_capacity", 5200},
        {"min_designcap", 6000}, {"med_designcap", 6000}, {"max_designcap", 6100},
        {"min_volts", 12300}, {"med_volts", 12500}, {"max_volts", 12700},
        {"min_cyclecount", 100}, {"med_cyclecount", 200}, {"max_cyclecount", 300},
    };
    for (const auto &[key, value] : expected)
        EXPECT_EQ(record.value(QString::fromLatin1(key)), QVariant(value)) << key;
}

// ---- Flood limit ------------------------------------------------------------------------------

TEST(FloodLimiter, RefusesABurstBeyondItsSizeUntilTokensGrowBack)
{
    FloodLimiter limiter(3, 2); // 3 at once, then 2 per second
    const auto start = FloodLimiter::Clock::now();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(limiter.allow("10.0.0.1", start));
    EXPECT_FALSE(limiter.allow("10.0.0.1", start));
    EXPECT_TRUE(limiter.allow("10.0.0.2", start)) << "each address has its own bucket";
    EXPECT_TRUE(limiter.allow("10.0.0.1", start + std::chrono::milliseconds(500)));
    EXPECT_FALSE(limiter.allow("10.0.0.1", start + std::chrono::milliseconds(600)));
    EXPECT_TRUE(limiter.allow("10.0.0.1", start + std::chrono::seconds(60)));
}

TEST(FloodLimiter, TracksABoundedNumberOfAddresses)
{
    FloodLimiter limiter(2, 1, 2);
    const auto start = FloodLimiter::Clock::now();
    EXPECT_TRUE(limiter.allow("a", start));
    EXPECT_TRUE(limiter.allow("b", start));
    EXPECT_FALSE(limiter.allow("c", start)) << "no room while both known addresses are busy";
    EXPECT_TRUE(limiter.allow("c", start + std::chrono::seconds(2))) << "idle addresses are forgotten";
}

} // namespace
