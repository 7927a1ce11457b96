// Sorting samples into hour anchors, five-minute anchors and the rest.
#include "LogTestSupport.h"
#include "TestSupport.h"

namespace {

QStringList texts(std::initializer_list<qint64> numbers)
{
    QStringList list;
    for (qint64 number : numbers)
        list << QString::number(number);
    return list;
}

} // namespace

TEST(SignificanceClassifier, AnchorsFollowTheirSpacing)
{
    const auto classes =
        CWLog::classifySignificance(texts({1, 2, 3, 4, 5}), texts({10000, 10001, 10400, 13700, 13800}));
    EXPECT_EQ(classes.hourAnchors, (QList<qint64>{1, 4}));
    EXPECT_EQ(classes.fiveMinuteAnchors, QList<qint64>{3});
    EXPECT_EQ(classes.others, (QList<qint64>{2, 5}));
}

TEST(SignificanceClassifier, ExactSpacingCountsAndGapsPromote)
{
    // 300 s after the five-minute anchor is enough; an hour's gap starts a new hour.
    const auto classes = CWLog::classifySignificance(texts({7, 8, 9, 10}), texts({5000, 5299, 5300, 8900}));
    EXPECT_EQ(classes.hourAnchors, (QList<qint64>{7, 10}));
    EXPECT_EQ(classes.fiveMinuteAnchors, QList<qint64>{9});
    EXPECT_EQ(classes.others, QList<qint64>{8});
}

TEST(SignificanceClassifier, IndexesBeyond32BitsSurvive)
{
    const auto classes = CWLog::classifySignificance(texts({5000000000, 5000000001}), texts({10000, 10001}));
    EXPECT_EQ(classes.hourAnchors, QList<qint64>{5000000000});
    EXPECT_EQ(classes.others, QList<qint64>{5000000001});
}

class SignifyTest : public LogTest {
protected:
    QStringList significances()
    {
        return LogFile(path()).column("SELECT significance FROM battlog ORDER BY testidx");
    }
};

TEST_F(SignifyTest, ClassifiesTheUnclassifiedSamples)
{
    for (qint64 time : {10000, 10001, 10400, 13700, 13800})
        addSample(time);
    ConsoleCapture console;
    log->signifyMissing();
    EXPECT_EQ(significances(), (QStringList{"4", "1", "2", "4", "1"}));
    log->signifyMissing();
    EXPECT_EQ(significances(), (QStringList{"4", "1", "2", "4", "1"}));
    EXPECT_TRUE(console.lines().isEmpty());
}

TEST_F(SignifyTest, NewSamplesStartAFreshSequence)
{
    addSample(10000, 4);
    addSample(10100, 1);
    addSample(10200);
    addSample(10250);
    log->signifyMissing();
    EXPECT_EQ(significances(), (QStringList{"4", "1", "4", "1"}));
}

TEST_F(SignifyTest, DesignifyAllReclassifiesFromTheFirstSample)
{
    addSample(10000, 1);
    addSample(10100, 4);
    addSample(10500, 1);
    log->designifyAll();
    log->signifyMissing();
    EXPECT_EQ(significances(), (QStringList{"4", "1", "2"}));
}

TEST_F(SignifyTest, NothingToClassifyIsQuiet)
{
    ConsoleCapture console;
    log->signifyMissing();
    addSample(10000, 4);
    log->signifyMissing();
    EXPECT_TRUE(console.lines().isEmpty());
    EXPECT_EQ(significances(), QStringList{"4"});
}

TEST_F(SignifyTest, FailedUpdateLeavesSamplesUnclassified)
{
    addSample(10000);
    addSample(10001);
    LogFile(path()).exec("CREATE TRIGGER refuse BEFORE UPDATE ON battlog WHEN NEW.significance = 1 "
                         "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    ConsoleCapture console;
    log->signifyMissing();
    EXPECT_EQ(console.lines(),
              QStringList{"Query UPDATE battlog SET significance = 1 WHERE testidx IN (2) failed with refused"});
    EXPECT_EQ(significances(), (QStringList{"4", "0"}));
}
