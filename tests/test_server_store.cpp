// The statistics server's storage and arithmetic: the store, the per-model figures, the flood limit.
#include "FloodLimiter.h"
#include "ModelAverages.h"
#include "StatsStore.h"
#include "TestSupport.h"

#include <QFile>

namespace {

BattSample completeSample(qint64 capacity, qint64 voltage = 12500, qint64 cycleCount = 100)
{
    return {capacity, capacity / 2, -1500, voltage, 6000, cycleCount, "11111"};
}

class StatsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.open(path())); }
    QString path() const { return dir.path() + u"/nested/server.sqlite"_s; }

    QTemporaryDir dir;
    StatsStore store;
};

TEST_F(StatsStoreTest, RegistersMachinesWithNewIdsThatSurviveReopening)
{
    EXPECT_EQ(store.registerMachine(u"MacBookPro11,1"_s), 1);
    EXPECT_EQ(store.registerMachine(u"MacBookPro11,1"_s), 2);
    EXPECT_EQ(store.registerMachine(u"MacBookAir6,2"_s), 3);
    const std::vector<StatsStore::Model> models = store.models();
    ASSERT_EQ(models.size(), 2u) << "each model once";
    EXPECT_EQ(models[0].code, u"MacBookPro11,1"_s);
    EXPECT_EQ(models[1].code, u"MacBookAir6,2"_s);
    ASSERT_EQ(store.logSample(2, completeSample(5000)), StatsStore::Outcome::Stored);

    StatsStore reopened;
    ASSERT_TRUE(reopened.open(path()));
    EXPECT_EQ(reopened.models().size(), 2u);
    EXPECT_EQ(reopened.votesByModel().at(models[0].id).size(), 1u);
    EXPECT_EQ(reopened.registerMachine(u"MacBookPro11,1"_s), 4) << "ids are never reused";
}

TEST_F(StatsStoreTest, AMachineVotesWithItsLatestCompleteSample)
{
    const qint64 machine = store.registerMachine(u"MacBookPro11,1"_s);
    store.registerMachine(u"MacBookAir6,2"_s);
    EXPECT_EQ(store.logSample(99, completeSample(5000)), StatsStore::Outcome::UnknownMachine);
    EXPECT_EQ(store.logSample(-1, completeSample(5000)), StatsStore::Outcome::UnknownMachine);
    store.logSample(machine, completeSample(5000, 12000, 10));
    store.logSample(machine, completeSample(4900, 12100, 11));
    BattSample incomplete = completeSample(1);
    incomplete.cycleCount.reset();
    EXPECT_EQ(store.logSample(machine, incomplete), StatsStore::Outcome::Stored);

    const auto votes = store.votesByModel();
    ASSERT_EQ(votes.size(), 2u);
    ASSERT_EQ(votes.at(store.models()[0].id).size(), 1u);
    const Vote vote = votes.at(store.models()[0].id).front();
    EXPECT_EQ(std::tuple(vote.capacity, vote.designCapacity, vote.voltage, vote.cycleCount),
              std::tuple(4900, 6000, 12100, 11));
    EXPECT_TRUE(votes.at(store.models()[1].id).empty()) << "a model without votes is still listed";
}

TEST(StatsStoreFailure, AForeignFileOrAnUncreatableFolderFailsEveryCallAndIsLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/garbage.sqlite"_s;
    writeTextFile(dir.path(), u"garbage.sqlite"_s, QString(4096, u'x'));

    StatsStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(store.registerMachine(u"MacBookPro11,1"_s), -1);
    EXPECT_EQ(store.logSample(1, completeSample(5000)), StatsStore::Outcome::Failed);
    EXPECT_TRUE(store.models().empty());
    EXPECT_TRUE(store.votesByModel().empty());
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(4096, 'x'));

    EXPECT_FALSE(StatsStore().open(path + u"/server.sqlite"_s));
}

TEST(ModelAverages, SpreadOfOddAndEvenCounts)
{
    const struct {
        std::vector<qint64> values;
        Spread spread;
    } rows[] = {
        {{7}, {7, 7, 7}},
        {{5, 1, 3}, {1, 3, 5}},
        {{4, 1, 3, 2}, {1, 3, 4}}, // 2.5 rounds up
        {{10, 10, 10, 11}, {10, 10, 11}},
        {{9, 1, 8, 2, 7, 3}, {1, 5, 9}}, // middle pair 3 and 7
    };
    for (const auto &row : rows) {
        const Spread spread = spreadOf(row.values);
        EXPECT_EQ(std::tuple(spread.min, spread.median, spread.max),
                  std::tuple(row.spread.min, row.spread.median, row.spread.max))
            << ::testing::PrintToString(row.values);
    }
}

TEST(FloodLimiter, RefusesABurstBeyondItsSizeUntilTokensGrowBack)
{
    using std::chrono::milliseconds;
    FloodLimiter limiter(3, 2); // 3 at once, then 2 per second
    const auto start = FloodLimiter::Clock::now();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(limiter.allow("10.0.0.1", start));
    EXPECT_FALSE(limiter.allow("10.0.0.1", start));
    EXPECT_TRUE(limiter.allow("10.0.0.2", start)) << "each address has its own bucket";
    EXPECT_TRUE(limiter.allow("10.0.0.1", start + milliseconds(500)));
    EXPECT_FALSE(limiter.allow("10.0.0.1", start + milliseconds(600)));

    FloodLimiter small(2, 1, 2); // remembers two addresses
    EXPECT_TRUE(small.allow("a", start));
    EXPECT_TRUE(small.allow("b", start));
    EXPECT_FALSE(small.allow("c", start)) << "no room while both known addresses are busy";
    EXPECT_TRUE(small.allow("c", start + milliseconds(2000))) << "idle addresses are forgotten";
}

} // namespace
