// The statistics server's arithmetic: the per-model figures and the flood limit (the store itself is
// tested on both databases in test_server_backends).
#include "FloodLimiter.h"
#include "ModelAverages.h"

#include <gtest/gtest.h>

namespace {

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
