// Sorting samples into hour anchors, five-minute anchors and the rest.
#include "TestSupport.h"

namespace {

QStringList texts(const QList<qint64> &numbers)
{
    QStringList list;
    for (qint64 number : numbers)
        list << QString::number(number);
    return list;
}

} // namespace

TEST(SignificanceClassifier, AnchorsFollowTheirSpacing)
{
    const struct {
        QList<qint64> indexes, times, hourAnchors, fiveMinuteAnchors, others;
    } rows[] = {
        // 300 s after the five-minute anchor is enough; an hour's gap starts a new hour.
        {{7, 8, 9, 10}, {5000, 5299, 5300, 8900}, {7, 10}, {9}, {8}},
        {{5000000000, 5000000001}, {10000, 10001}, {5000000000}, {}, {5000000001}},
    };
    for (const auto &row : rows) {
        const auto classes = CWLog::classifySignificance(texts(row.indexes), texts(row.times));
        EXPECT_EQ(classes.hourAnchors, row.hourAnchors);
        EXPECT_EQ(classes.fiveMinuteAnchors, row.fiveMinuteAnchors);
        EXPECT_EQ(classes.others, row.others);
    }
}

class SignifyTest : public LogTest {
protected:
    QStringList significances()
    {
        return LogFile(path()).column(u"SELECT significance FROM battlog ORDER BY testidx"_s);
    }
};

TEST_F(SignifyTest, ClassifiesOnlyTheUnclassifiedSamplesQuietlyOrAllAfresh)
{
    ConsoleCapture console;
    log->signifyMissing(); // nothing to do
    for (qint64 time : {10000, 10001, 10400, 13700, 13800})
        addSample(time);
    log->signifyMissing();
    log->signifyMissing();
    EXPECT_EQ(significances(), QStringList({u"4"_s, u"1"_s, u"2"_s, u"4"_s, u"1"_s}));
    EXPECT_TRUE(console.lines().isEmpty());

    // Later samples start a sequence of their own.
    addSample(13900);
    addSample(13950);
    log->signifyMissing();
    EXPECT_EQ(significances().mid(5), QStringList({u"4"_s, u"1"_s}));

    // Starting afresh classifies everything as one sequence from the first sample.
    log->designifyAll();
    log->signifyMissing();
    EXPECT_EQ(significances(), QStringList({u"4"_s, u"1"_s, u"2"_s, u"4"_s, u"1"_s, u"1"_s, u"1"_s}));
}

TEST_F(SignifyTest, AFailedUpdateLeavesSamplesUnclassified)
{
    addSample(10000);
    addSample(10001);
    LogFile(path()).exec(u"CREATE TRIGGER refuse BEFORE UPDATE ON battlog WHEN NEW.significance = 1 "
                         "BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    ConsoleCapture console;
    log->signifyMissing();
    EXPECT_EQ(console.lines(),
              QStringList{u"Query UPDATE battlog SET significance = 1 WHERE testidx IN (2) failed with refused"_s});
    EXPECT_EQ(significances(), QStringList({u"4"_s, u"0"_s}));
}
