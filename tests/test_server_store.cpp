// The statistics server's arithmetic: the per-model figures and the flood limit (the store itself is
// tested on both databases in test_server_backends).
#include "FloodLimiter.h"
#include "ModelAverages.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

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

TEST(ModelAverages, RecordGivesFiguresOnlyFromEnoughMachines)
{
    const std::vector<Vote> votes{{5000, 6000, 12500, 100}, {5200, 6000, 12300, 300}, {4800, 6100, 12700, 200}};
    const QVariantMap tooSmall{{u"pb_modelid"_s, qint64(7)}, {u"status"_s, u"toosmall"_s}};
    EXPECT_EQ(averagesRecord(7, {votes[0], votes[1]}, 3), tooSmall);
    EXPECT_EQ(averagesRecord(7, {}, 1), tooSmall);

    const QVariantMap expected{
        {u"pb_modelid"_s, qint64(7)},       {u"status"_s, u"ok"_s},
        {u"min_capacity"_s, qint64(4800)},  {u"med_capacity"_s, qint64(5000)},  {u"max_capacity"_s, qint64(5200)},
        {u"min_designcap"_s, qint64(6000)}, {u"med_designcap"_s, qint64(6000)}, {u"max_designcap"_s, qint64(6100)},
        {u"min_volts"_s, qint64(12300)},    {u"med_volts"_s, qint64(12500)},    {u"max_volts"_s, qint64(12700)},
        {u"min_cyclecount"_s, qint64(100)}, {u"med_cyclecount"_s, qint64(200)}, {u"max_cyclecount"_s, qint64(300)},
    };
    EXPECT_EQ(averagesRecord(7, votes, 3), expected);
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
