// The statistics server's arithmetic: the per-model figures and the flood limit (the store itself is
// tested on both databases in test_server_backends).
#include "FloodLimiter.h"
#include "ModelAverages.h"

#include "TestSupport.h"

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
