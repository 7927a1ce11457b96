// Reading samples and events back: windows, bounds, significance selection and the result's shape.
#include "LogTestSupport.h"
#include "TestSupport.h"

namespace {

QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds);
}

} // namespace

class LogQueryTest : public LogTest {
protected:
    // Samples 1..20 at times 1000, 1010, ... 1190.
    void addTwentySamples()
    {
        for (int i = 0; i < 20; ++i)
            addSample(1000 + 10 * i);
    }

    QStringList indexesFrom(const QDateTime &start, const QDateTime &end, int mask = 0, bool unclassified = true)
    {
        const CWLogResult rows =
            log->battLogEntriesFrom(start, end, {"testidx"}, CWSignificances::fromInt(mask), unclassified);
        return rows ? rows->value("testidx") : QStringList();
    }
};

TEST_F(LogQueryTest, WindowReachesTwoRowsBeyondEachEdge)
{
    addTwentySamples();
    // First sample in the window is 10 (time 1090), last is 12 (time 1110).
    EXPECT_EQ(indexesFrom(at(1090), at(1115)), (QStringList{"8", "9", "10", "11", "12", "13", "14"}));
    // Lower bound of index 1 stays at 0; no end means no upper bound.
    EXPECT_EQ(indexesFrom(at(900), QDateTime()).size(), 20);
    EXPECT_EQ(indexesFrom(QDateTime(), at(1005)), (QStringList{"1", "2", "3"}));
}

TEST_F(LogQueryTest, WindowOutsideTheLogGetsOnlyTheNearestRows)
{
    addTwentySamples();
    EXPECT_EQ(indexesFrom(at(5000), at(6000)), (QStringList{"19", "20"}));
    EXPECT_EQ(indexesFrom(at(5000), QDateTime()), (QStringList{"19", "20"}));
    EXPECT_EQ(indexesFrom(at(100), at(200)), (QStringList{"1", "2"}));
}

TEST_F(LogQueryTest, EmptyLogYieldsNull)
{
    EXPECT_FALSE(log->battLogEntriesFrom(at(100), at(200), {}, CWSignificances::fromInt(7), true));
    EXPECT_FALSE(log->battLogEntriesFrom({}, {}, {}, CWSignificances::fromInt(7), true));
}

TEST_F(LogQueryTest, SignificanceMaskAndUnclassifiedFlagSelectRows)
{
    const int classes[] = {4, 1, 2, 1, 0, 4, 2, 0};
    for (int i = 0; i < 8; ++i)
        addSample(1000 + i, classes[i]);
    EXPECT_EQ(indexesFrom({}, {}, 4, false), (QStringList{"1", "6"}));
    EXPECT_EQ(indexesFrom({}, {}, 4, true), (QStringList{"1", "5", "6", "8"}));
    EXPECT_EQ(indexesFrom({}, {}, 6, false), (QStringList{"1", "3", "6", "7"}));
    EXPECT_EQ(indexesFrom({}, {}, CWSignificances::fromInt(7), true).size(), 8);
    EXPECT_EQ(indexesFrom({}, {}, 1, false), (QStringList{"2", "4"}));
}

TEST_F(LogQueryTest, NoSignificanceSelectedIsRefused)
{
    addSample(1000);
    ConsoleCapture console;
    EXPECT_FALSE(log->battLogEntriesFrom({}, {}, {}, {}, false));
    EXPECT_EQ(console.lines(), QStringList{"Batt log entries request specified no significances"});
}

TEST_F(LogQueryTest, ExpressionIsReturnedUnderItsAlias)
{
    LogFile(path()).exec("INSERT INTO battlog (time, Voltage, Amperage) VALUES (1000, 12000, -1500)");
    const auto rows = log->battLogEntriesFrom(
        {}, {}, {"Voltage", "time", "(Voltage/1000.) * (Amperage/1000.) AS Watts"}, CWSignificances::fromInt(7), true);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->keys(), (QStringList{"Voltage", "Watts", "time"}));
    EXPECT_EQ(rows->value("Watts"), QStringList{"-18.0"});
    EXPECT_EQ(rows->value("Voltage"), QStringList{"12000"});
}

TEST_F(LogQueryTest, NullValuesKeepTheirRowPosition)
{
    ASSERT_TRUE(log->logBattDict({{"Location", 1}, {"Voltage", 11000}}));
    ASSERT_TRUE(log->logBattDict({{"Voltage", 11100}}));
    ASSERT_TRUE(log->logBattDict({{"Location", 3}}));
    const auto rows = log->battLogEntriesAboveIndex(0, {"Location", "Voltage"});
    ASSERT_TRUE(rows);
    const QStringList location = rows->value("Location");
    ASSERT_EQ(location.size(), 3);
    EXPECT_EQ(location[0], "1");
    EXPECT_TRUE(location[1].isNull());
    EXPECT_EQ(location[2], "3");
    EXPECT_TRUE(rows->value("Voltage")[2].isNull());
}

TEST_F(LogQueryTest, SamplesAboveAnIndex)
{
    addTwentySamples();
    const auto rows = log->battLogEntriesAboveIndex(17, {"testidx", "time"});
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->value("testidx"), (QStringList{"18", "19", "20"}));
    EXPECT_EQ(rows->value("time"), (QStringList{"1170", "1180", "1190"}));
    EXPECT_EQ(log->battLogEntriesAboveIndex(19, {})->size(), 35);
    EXPECT_FALSE(log->battLogEntriesAboveIndex(20, {}));
}

TEST_F(LogQueryTest, EventsAboveAnIndexAndByTime)
{
    EXPECT_FALSE(log->eventLogEntriesAboveIndex(0));
    LogFile db(path());
    for (int i = 0; i < 4; ++i)
        db.exec(QString::asprintf("INSERT INTO eventlog (eventtype, time) VALUES (%d, %d)", 3 + i, 100 * (i + 1)));
    const auto above = log->eventLogEntriesAboveIndex(2);
    ASSERT_TRUE(above);
    EXPECT_EQ(above->keys(), (QStringList{"data", "eventidx", "eventtype", "time"}));
    EXPECT_EQ(above->value("eventidx"), (QStringList{"3", "4"}));

    const auto times = [&](const QDateTime &start, const QDateTime &end) {
        const CWLogResult rows = log->eventLogEntriesFrom(start, end);
        return rows ? rows->value("time") : QStringList();
    };
    EXPECT_EQ(times(at(200), at(300)), (QStringList{"200", "300"}));
    EXPECT_EQ(times(at(250), {}), (QStringList{"300", "400"}));
    EXPECT_EQ(times({}, at(150)), QStringList{"100"});
    EXPECT_EQ(times({}, {}).size(), 4);
    EXPECT_TRUE(times(at(500), {}).isEmpty());
}

TEST_F(LogQueryTest, FailingQueryIsReportedAndYieldsNull)
{
    addSample(1000);
    ConsoleCapture console;
    EXPECT_FALSE(log->battLogEntriesAboveIndex(0, {"Bogus"}));
    EXPECT_FALSE(log->battLogEntriesFrom(at(900), {}, {"Bogus"}, CWSignificances::fromInt(7), true));
    EXPECT_EQ(console.lines(),
              (QStringList{"Query SELECT Bogus FROM battlog WHERE testidx > 0 ORDER BY testidx failed with no such "
                           "column: Bogus",
                           "Query SELECT Bogus FROM battlog WHERE testidx >= 0 AND testidx <= 4294967295 AND "
                           "significance IN (0,1,2,4) ORDER BY testidx failed with no such column: Bogus"}));
}

TEST(LogQueriesInSteps, LimitedReadTakesTheLowestIndexesFirst)
{
    ScopedDataHome home;
    CWLog *log = CWLog::sharedLog();
    ASSERT_NE(log, nullptr);
    for (qint64 voltage = 12000; voltage < 12005; ++voltage)
        log->logBattDict({{"Voltage", voltage}});
    const CWLogResult first = log->battLogEntriesAboveIndex(0, {"testidx"}, 2);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value("testidx"), (QStringList{"1", "2"}));
    const CWLogResult rest = log->battLogEntriesAboveIndex(4, {"testidx", "Voltage"}, 2);
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->value("Voltage"), QStringList{"12004"});
    EXPECT_FALSE(log->battLogEntriesAboveIndex(5, {"testidx"}, 2));
}
