// Reading samples and events back: windows, bounds, significance selection and the result's shape.
#include "CWLogTimeSpans.h"
#include "TestSupport.h"

using namespace Qt::StringLiterals;

namespace {

QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds);
}

QStringList numbers(std::initializer_list<int> values)
{
    QStringList texts;
    for (int value : values)
        texts << QString::number(value);
    return texts;
}

class LogQueryTest : public LogTest {
protected:
    // Samples 1..20 at times 1000, 1010, ... 1190.
    void addTwentySamples()
    {
        for (int i = 0; i < 20; ++i)
            addSample(1000 + 10 * i);
    }
    QStringList indexesFrom(const QDateTime &start, const QDateTime &end, int mask = 7, bool unclassified = true)
    {
        const CWLogResult rows =
            log->battLogEntriesFrom(start, end, {u"testidx"_s}, CWSignificances::fromInt(mask), unclassified);
        return rows ? rows->value(u"testidx"_s) : QStringList();
    }
    // The same window read row by row, each row's testidx taken from after the columns asked for.
    QStringList indexesVisited(int mask, bool unclassified)
    {
        QStringList indexes;
        const std::optional<CWLog::IndexRange> window = log->battLogWindow({}, {});
        if (window)
            log->battLogRowsIn(*window, {u"time"_s}, CWSignificances::fromInt(mask), unclassified,
                               [&](const CWLog::Row &row) { indexes << QString::number(row.integer(1).value_or(-1)); });
        return indexes;
    }
};

} // namespace

TEST_F(LogQueryTest, AWindowReachesTwoRowsBeyondEachEdgeAndNoFurther)
{
    EXPECT_TRUE(indexesFrom({}, {}).isEmpty()) << "an empty log has no rows";
    addTwentySamples();
    const struct {
        QDateTime start, end;
        QStringList indexes;
    } rows[] = {
        {at(1090), at(1115), numbers({8, 9, 10, 11, 12, 13, 14})}, // samples 10 to 12 inside
        {QDateTime(), at(1005), numbers({1, 2, 3})},               // no start: no lower bound
        {at(5000), at(6000), numbers({19, 20})},                   // after the log: the nearest rows
        {at(5000), QDateTime(), numbers({19, 20})},
        {at(100), at(200), numbers({1, 2})},
    };
    for (const auto &row : rows)
        EXPECT_EQ(indexesFrom(row.start, row.end), row.indexes) << row.start.toSecsSinceEpoch();
    EXPECT_EQ(indexesFrom(at(900), QDateTime()).size(), 20);
}

TEST_F(LogQueryTest, SignificanceClassesAndTheUnclassifiedFlagSelectRows)
{
    for (int i = 0; const int significance : {4, 1, 2, 1, 0, 4, 2, 0})
        addSample(1000 + i++, significance);
    const struct {
        int mask;
        bool unclassified;
        QStringList indexes;
    } rows[] = {
        {4, false, numbers({1, 6})},
        {4, true, numbers({1, 5, 6, 8})},
        {6, false, numbers({1, 3, 6, 7})},
        {1, false, numbers({2, 4})},
        {6, true, numbers({1, 3, 5, 6, 7, 8})},
        {0, true, numbers({5, 8})},
        {7, true, numbers({1, 2, 3, 4, 5, 6, 7, 8})},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(indexesFrom({}, {}, row.mask, row.unclassified), row.indexes) << row.mask << row.unclassified;
        EXPECT_EQ(indexesVisited(row.mask, row.unclassified), row.indexes) << row.mask << row.unclassified;
    }
    ConsoleCapture console;
    EXPECT_FALSE(log->battLogEntriesFrom({}, {}, {}, {}, false));
    EXPECT_EQ(console.lines(), QStringList{u"Batt log entries request specified no significances"_s});
}

TEST_F(LogQueryTest, ColumnsComeByNameOrAliasWithNullsInTheirRows)
{
    LogFile(path()).exec(u"INSERT INTO battlog (time, Voltage, Amperage, Location) VALUES (1000, 12000, -1500, 1), "
                         "(1001, NULL, NULL, 3)"_s);
    const auto rows =
        log->battLogEntriesFrom({}, {}, {u"Voltage"_s, u"Location"_s, u"(Voltage/1000.) * (Amperage/1000.) AS Watts"_s},
                                CWSignificances::fromInt(7), true);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->keys(), QStringList({u"Location"_s, u"Voltage"_s, u"Watts"_s}));
    EXPECT_EQ(rows->value(u"Watts"_s).value(0), u"-18.0"_s);
    EXPECT_EQ(rows->value(u"Location"_s), numbers({1, 3}));
    EXPECT_TRUE(rows->value(u"Voltage"_s).value(1).isNull());
    EXPECT_EQ(rows->value(u"Voltage"_s).size(), 2);
}

TEST_F(LogQueryTest, SamplesAboveAnIndexInLimitedSteps)
{
    addTwentySamples();
    const auto rows = log->battLogEntriesAboveIndex(17, {u"testidx"_s, u"time"_s});
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->value(u"testidx"_s), numbers({18, 19, 20}));
    EXPECT_EQ(rows->value(u"time"_s), numbers({1170, 1180, 1190}));
    EXPECT_EQ(log->battLogEntriesAboveIndex(19, {})->size(), 35) << "every column";
    EXPECT_FALSE(log->battLogEntriesAboveIndex(20, {}));
    EXPECT_EQ(log->battLogEntriesAboveIndex(0, {u"testidx"_s}, 2)->value(u"testidx"_s), numbers({1, 2}));
    EXPECT_EQ(log->battLogEntriesAboveIndex(18, {u"testidx"_s}, 5)->value(u"testidx"_s), numbers({19, 20}));
}

TEST_F(LogQueryTest, EventsAboveAnIndexAndByTime)
{
    EXPECT_FALSE(log->eventLogEntriesAboveIndex(0));
    LogFile(path()).exec(u"INSERT INTO eventlog (eventtype, time) VALUES (3, 100), (4, 200), (5, 300), (6, 400)"_s);
    const auto above = log->eventLogEntriesAboveIndex(2);
    ASSERT_TRUE(above);
    EXPECT_EQ(above->keys(), QStringList({u"data"_s, u"eventidx"_s, u"eventtype"_s, u"time"_s}));
    EXPECT_EQ(above->value(u"eventidx"_s), numbers({3, 4}));
    const auto times = [&](const QDateTime &start, const QDateTime &end) {
        const CWLogResult rows = log->eventLogEntriesFrom(start, end);
        return rows ? rows->value(u"time"_s) : QStringList();
    };
    EXPECT_EQ(times(at(200), at(300)), numbers({200, 300}));
    EXPECT_EQ(times(at(250), {}), numbers({300, 400}));
    EXPECT_EQ(times({}, at(150)), numbers({100}));
    EXPECT_TRUE(times(at(500), {}).isEmpty());
}

TEST_F(LogQueryTest, AFailingQueryIsReportedAndYieldsNull)
{
    addSample(1000);
    ConsoleCapture console;
    EXPECT_FALSE(log->battLogEntriesAboveIndex(0, {u"Bogus"_s}));
    EXPECT_FALSE(log->battLogEntriesFrom(at(900), {}, {u"Bogus"_s}, CWSignificances::fromInt(7), true));
    EXPECT_EQ(console.lines(),
              QStringList({u"Query SELECT Bogus FROM battlog WHERE testidx > 0 ORDER BY testidx failed with no such "
                           "column: Bogus"_s,
                           u"Query SELECT Bogus FROM battlog WHERE testidx >= 0 AND testidx <= 4294967295 AND "
                           "+significance IN (0,1,2,4) ORDER BY testidx failed with no such column: Bogus"_s}));
}

// The bounds and counts must be what the plain statements answer, found without scanning the log,
// whatever the clock did: set back for a while, rows without a time, gaps in testidx, and after
// rows were added or all deleted by a program that does not keep the summary.
TEST_F(LogQueryTest, WindowBoundsEqualThePlainStatementsWhateverTheClockDid)
{
    LogFile db(path());
    db.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO battlog (testidx, time) SELECT i, CASE WHEN i BETWEEN 1200 AND 1499 THEN 500 + i "
            "WHEN i BETWEEN 2000 AND 2099 THEN NULL ELSE 1000 + i / 2 END FROM n; "
            "INSERT INTO battlog (testidx, time) VALUES (5000, 4000), (5001, 4000), (9000, 300.5), (9001, 'text')"_s);
    const auto expectSameAnswers = [&](const char *when) {
        SCOPED_TRACE(when);
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &raw), SQLITE_OK);
        const Sqlite::Connection connection(raw);
        CWLogTimeSpans spans(raw);
        for (qint64 time = 0; time <= 4100; time += 7) {
            bool ok = false;
            EXPECT_EQ(QString::number(spans.firstAtOrAfter(time, ok).value_or(-1)),
                      db.column(u"SELECT testidx FROM battlog WHERE time >= %1 ORDER BY testidx LIMIT 1"_s.arg(time))
                          .value(0, u"-1"_s))
                << time;
            EXPECT_EQ(QString::number(spans.lastAtOrBefore(time, ok).value_or(-1)),
                      db.column(
                            u"SELECT testidx FROM battlog WHERE time <= %1 ORDER BY testidx DESC LIMIT 1"_s.arg(time))
                          .value(0, u"-1"_s))
                << time;
            ASSERT_TRUE(ok);
            EXPECT_EQ(QString::number(spans.countLaterThan(time).value_or(-1)),
                      db.column(u"SELECT count(*) FROM battlog WHERE time > %1"_s.arg(time)).value(0))
                << time;
        }
        EXPECT_EQ(QString::number(spans.sampleCount()), db.column(u"SELECT count(time) FROM battlog"_s).value(0));
    };
    expectSameAnswers("summarised from the samples");
    db.exec(u"INSERT INTO battlog (time) VALUES (2000), (100)"_s);
    expectSameAnswers("kept summary, samples added since by another program");
    db.exec(u"DELETE FROM battlog; INSERT INTO battlog (time) VALUES (50), (40)"_s);
    expectSameAnswers("kept summary, all deleted since by another program");
}
