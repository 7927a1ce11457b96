// The Graph page: its rows and series, the range it reads, and its controls.
#include "CWCWGraphView.h"
#include "CWGraphRange.h"
#include "CWGraphSamples.h"
#include "CWGraphVC.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace {

QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds);
}

class GraphSamples : public LogTest {
protected:
    // One sample every 10 s from time `first`, classed by classOf(row number).
    void addRows(qint64 first, int count, const std::function<int(int)> &classOf)
    {
        QString sql = QStringLiteral("BEGIN;");
        for (int i = 0; i < count; ++i) {
            sql += QString::asprintf("INSERT INTO battlog (time, significance, Voltage, Temperature, CurrentCapacity, "
                                     "MaxCapacity, Amperage) VALUES (%lld, %d, %d, 3000, %d, 6000, %d);",
                                     first + 10 * i, classOf(i), 12000 + i, 4000 + i, i % 7 - 3);
        }
        LogFile(path()).exec(sql + QStringLiteral("COMMIT;"));
    }

    static std::array<std::vector<CWGraphVertex>, CWGraphSamples::SeriesCount> seriesOf(const CWGraphSamples &samples,
                                                                                        qint64 t0, qint64 t1)
    {
        return samples.series({double(t0), double(t1), 8.0, 8.1, 14.1});
    }
};

int hourly(int i)
{
    return i % 360 == 0 ? 4 : i % 30 == 0 ? 2 : 1;
}

} // namespace

TEST(GraphPage, SignificanceMasksByRangeLength)
{
    const std::pair<double, int> rows[] = {{3'600, 7},       {47 * 3'600, 7},  {172'800, 7},
                                           {172'800.001, 6}, {3 * 86'400, 6},  {2'592'000, 6},
                                           {2'592'000.5, 4}, {31 * 86'400, 4}, {-5, 7}};
    for (const auto &[span, mask] : rows)
        EXPECT_EQ(CWGraphSamples::significanceMask(span).toInt(), mask) << span << " s";
}

TEST(GraphPage, SeriesValues)
{
    const std::pair<double, double> power[] = {{12.5, 0.75}, {-12.5, 0.25}, {0.0, 0.5}, {50.0, 1.0}, {-50.0, 0.0}};
    for (const auto &[watts, y] : power)
        EXPECT_DOUBLE_EQ(CWGraphSamples::powerY(watts), y) << watts << " W";
    EXPECT_DOUBLE_EQ(CWGraphSamples::capacityY(6000, 7.5), 0.8);
    EXPECT_DOUBLE_EQ(CWGraphSamples::voltageY(11100, 8.1, 14.1), 0.5);
}

// A NULL takes out only that row's point of the series that needs it.
TEST_F(GraphSamples, MissingValuesLeaveOutOnlyTheirOwnPoints)
{
    CWGraphSamples none;
    ConsoleCapture console;
    none.read(*log, at(1000), at(2000), CWGraphSamples::significanceMask(1000), false);
    EXPECT_EQ(none.size(), 0u);
    EXPECT_TRUE(console.lines().isEmpty()) << "an empty log is no failure";

    LogFile(path()).exec(QStringLiteral(
        "INSERT INTO battlog (time, Voltage, Temperature, CurrentCapacity, MaxCapacity, Amperage) VALUES "
        "(100, 12000, 2982, 4000, 6000, 1000), (110, 12000, NULL, 4000, 6000, 1000), "
        "(120, 12000, 2982, 4000, 6000, NULL), (130, NULL, NULL, 'garbled', 6000, 1000)"));
    CWGraphSamples samples;
    samples.read(*log, at(90), at(140), CWGraphSamples::significanceMask(50), false);
    const auto series = seriesOf(samples, 90, 140);
    const auto xs = [](const std::vector<CWGraphVertex> &vertices) {
        std::vector<double> list;
        for (const CWGraphVertex &vertex : vertices)
            list.push_back(vertex.x);
        return list;
    };
    EXPECT_EQ(xs(series[CWGraphSamples::MaxCapacity]), (std::vector<double>{0.2, 0.4, 0.6, 0.8}));
    EXPECT_EQ(xs(series[CWGraphSamples::Temperature]), (std::vector<double>{0.2, 0.6}));
    EXPECT_EQ(xs(series[CWGraphSamples::Volts]), (std::vector<double>{0.2, 0.4, 0.6}));
    EXPECT_EQ(xs(series[CWGraphSamples::ChargeLevel]), (std::vector<double>{0.2, 0.4, 0.6}));
    EXPECT_EQ(xs(series[CWGraphSamples::Power]), (std::vector<double>{0.2, 0.4}));
    EXPECT_NEAR(series[CWGraphSamples::Temperature][0].y, 0.2505, 1e-12);
    EXPECT_DOUBLE_EQ(series[CWGraphSamples::MaxCapacity][0].y, 0.75);
    EXPECT_DOUBLE_EQ(series[CWGraphSamples::Power][0].y, CWGraphSamples::powerY(12.0));

    for (const auto &points : seriesOf(samples, 140, 140))
        EXPECT_TRUE(points.empty()) << "an empty range places nothing";
}

// A followed window ends up with exactly the rows a fresh read of it returns.
TEST_F(GraphSamples, FollowingARecentRangeGivesWhatAFreshReadGives)
{
    struct Row {
        const char *name;
        int mask;
        qint64 startOffset, startStep; // seconds after the first row, seconds the start moves
        bool clearLog;
    };
    const Row rows[] = {{"every sample", 7, 20'000, 35, false},
                        {"five-minute anchors", 6, 20'000, 35, false},
                        {"hour anchors, start between two", 4, 20'000, 1'234, false},
                        {"a start beyond the scan", 7, 20'000, 40'000, false},
                        {"new rows before a start past the log's end", 7, 34'000, 2'000, false},
                        {"a cleared log", 7, 20'000, 35, true}};
    qint64 first = 100'000;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        addRows(first, 3'000, hourly);
        addRows(first + 30'000, 500, [](int) { return 0; });
        const qint64 start = first + row.startOffset;
        CWGraphSamples followed;
        const auto mask = CWSignificances::fromInt(row.mask);
        followed.read(*log, at(start), at(first + 40'000), mask, true);
        if (row.clearLog)
            LogFile(path()).exec(QStringLiteral("DELETE FROM battlog"));
        addRows(first + 35'000, 100, [](int) { return 0; });
        const QDateTime later = at(start + row.startStep);
        followed.read(*log, later, at(first + 41'000), mask, true);
        CWGraphSamples fresh;
        fresh.read(*log, later, at(first + 41'000), mask, false);
        EXPECT_EQ(followed.size(), fresh.size());
        EXPECT_TRUE(seriesOf(followed, start, first + 41'000) == seriesOf(fresh, start, first + 41'000));
        first += 100'000;
    }
}

TEST_F(GraphSamples, AFollowedRangeReadsOnlyNewRows)
{
    addRows(1'000, 100, [](int) { return 0; });
    CWGraphSamples followed;
    followed.read(*log, at(1'500), at(3'000), CWGraphSamples::significanceMask(1500), true);
    LogFile(path()).exec(QStringLiteral("DELETE FROM battlog WHERE time = 1800"));
    addRows(3'000, 2, [](int) { return 0; });
    followed.read(*log, at(1'505), at(3'020), CWGraphSamples::significanceMask(1515), true);
    CWGraphSamples fresh;
    fresh.read(*log, at(1'505), at(3'020), CWGraphSamples::significanceMask(1515), false);
    EXPECT_EQ(followed.size(), fresh.size() + 1) << "a kept row is not read again";
}

// A refresh builds its series into the memory of the last ones where it holds enough, and into
// fresh memory where it holds too little, or far too much to keep.
TEST_F(GraphSamples, SeriesAreBuiltIntoTheMemoryHandedBack)
{
    addRows(1'000, 100, [](int) { return 0; });
    CWGraphSamples samples;
    samples.read(*log, at(1'000), at(2'000), CWGraphSamples::significanceMask(1'000), false);
    std::vector<std::vector<CWGraphVertex>> memory(CWGraphSamples::SeriesCount);
    std::vector<const CWGraphVertex *> places;
    const size_t room[] = {10, 100'000, 200, 200, 200};
    for (size_t i = 0; i < memory.size(); ++i) {
        memory[i].reserve(room[i]);
        places.push_back(memory[i].data());
    }
    const CWGraphSamples::SeriesVertices series = samples.series({1'000, 2'000, 8.0, 8.1, 14.1}, std::move(memory));
    EXPECT_NE(series[0].data(), places[0]) << "too small";
    EXPECT_NE(series[1].data(), places[1]) << "too large";
    for (size_t i = 2; i < series.size(); ++i) {
        EXPECT_EQ(series[i].data(), places[i]) << i;
        EXPECT_EQ(series[i].size(), 100u) << i;
    }
    EXPECT_EQ(series[0], seriesOf(samples, 1'000, 2'000)[0]);
}

// Every sample of a long window is read over several calls, each a slice; the rows kept change only
// when the whole window is in, and then it is followed as any other.
TEST_F(GraphSamples, ALongWindowIsReadInSlicesThenFollowed)
{
    const qint64 rows = 2 * CWGraphSamples::kSliceRows + 500;
    const auto insertRows = [this](qint64 first, qint64 count) {
        LogFile(path()).exec(
            QString::asprintf("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                              "%lld) INSERT INTO battlog (time, Voltage) SELECT %lld + i, 12000 FROM n",
                              count - 1, first));
    };
    insertRows(1'000, rows);
    const auto mask = CWSignificances::fromInt(7);
    CWGraphSamples samples;
    int calls = 1;
    for (; !samples.read(*log, at(1'000), at(1'000 + rows), mask, true); ++calls)
        EXPECT_EQ(samples.size(), 0u) << "nothing kept before the whole window is in";
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(samples.size(), size_t(rows));

    insertRows(1'000 + rows, 2);
    EXPECT_TRUE(samples.read(*log, at(1'002), at(1'002 + rows), mask, true)) << "followed in one call";
    CWGraphSamples fresh;
    while (!fresh.read(*log, at(1'002), at(1'002 + rows), mask, false)) {
    }
    EXPECT_EQ(samples.size(), fresh.size());

    // A read cleared halfway starts over on the window asked for next.
    EXPECT_FALSE(samples.read(*log, at(1'000), at(1'000 + rows), mask, false));
    samples.clear();
    EXPECT_TRUE(samples.read(*log, at(1'000), at(1'100), mask, true));
    EXPECT_TRUE(fresh.read(*log, at(1'000), at(1'100), mask, false));
    EXPECT_EQ(samples.size(), fresh.size());
}

// A range as "<count> <unit>" back from now, "<from>..<to>", or "refused".
std::string described(const std::optional<CWGraphRange> &range)
{
    static const char *const units[] = {"?", "minutes", "hours", "days"};
    if (!range)
        return "refused";
    if (range->recent)
        return std::to_string(range->count) + " " + units[range->unit <= CWGraphRange::Days ? range->unit : 0];
    return (range->from.toString(Qt::ISODate) + u".."_s + range->to.toString(Qt::ISODate)).toStdString();
}

TEST(GraphRange, ReadsRecentAndFixedRanges)
{
    const std::pair<const char *, const char *> rows[] = {
        {"1h", "1 hours"},
        {"90m", "90 minutes"},
        {"30d", "30 days"},
        {"1y", "365 days"},
        {"2024-03-01..2024-03-31", "2024-03-01T00:00:00+01:00..2024-04-01T00:00:00+02:00"},
        {"2024-03-01..2024-03-01", "2024-03-01T00:00:00+01:00..2024-03-02T00:00:00+01:00"},
        {"0h", "refused"},
        {"2w", "refused"},
        {"2024-02-30..2024-03-01", "refused"},
        {"2024-03-02..2024-03-01", "refused"},
    };
    for (const auto &[text, expected] : rows)
        EXPECT_EQ(described(CWGraphRange::fromText(QString::fromLatin1(text), QTimeZone("Europe/Berlin"))), expected);
}

class GraphPageControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::standard().clearAll();
        page.view();
    }
    void TearDown() override { UserDefaults::standard().clearAll(); }

    ScopedDataHome home;
    CWGraphVC page{QStringLiteral("CWGraphVC"), CWLog::sharedLog()};
};

TEST_F(GraphPageControls, DefaultIsTheLastHourRefreshedWhileShown)
{
    EXPECT_EQ(page.timeMode(), CWGraphVC::Recent);
    EXPECT_EQ(page.agoPopup()->currentData().toInt(), CWGraphRange::Minutes);
    EXPECT_EQ(page.secondsAgo(), 3600.0);
    EXPECT_EQ(page.graphView()->secondsAgo(), 3600.0);
    EXPECT_EQ(page.effectiveStartDate().secsTo(page.effectiveEndDate()), 3600);
    EXPECT_EQ(page.dateFromPicker()->dateTime().daysTo(page.dateToPicker()->dateTime()), 365);
    EXPECT_FALSE(page.dateFromPicker()->isEnabled());

    page.activate();
    EXPECT_TRUE(page.isTimerRunning());
    page.deactivate();
    EXPECT_FALSE(page.isTimerRunning());
    page.activate();
    EXPECT_TRUE(page.isTimerRunning());
    EXPECT_EQ(page.graphView()->graphSpecs().size(), 4u);
    EXPECT_EQ(page.graphView()->graphSpecsBot().size(), 1u);
}

TEST_F(GraphPageControls, FieldAndStepperFollowEachOther)
{
    page.agoField()->setText(QStringLiteral("10"));
    Q_EMIT page.agoField()->editingFinished();
    EXPECT_EQ(page.agoStepper()->value(), 10);
    EXPECT_EQ(page.graphView()->secondsAgo(), 600.0);
    page.agoStepper()->setValue(11);
    EXPECT_EQ(page.agoField()->text(), QStringLiteral("11"));
    page.agoPopup()->setCurrentIndex(page.agoPopup()->findData(CWGraphRange::Hours));
    EXPECT_EQ(page.graphView()->secondsAgo(), 11 * 3600.0);

    ConsoleCapture console;
    QObject stranger;
    page.changeDateVals(&stranger);
    EXPECT_TRUE(console.contains(QStringLiteral("Error: Unexpected sender QObject in changeDateVals:")));
}

TEST_F(GraphPageControls, FixedRangeUsesThePickersAndStopsTheTimer)
{
    page.activate();
    page.dateRangeRadio()->button(CWGraphVC::Fixed)->click();
    EXPECT_EQ(QList<bool>({page.agoField()->isEnabled(), page.agoStepper()->isEnabled(), page.agoPopup()->isEnabled(),
                           page.dateFromPicker()->isEnabled(), page.dateToPicker()->isEnabled()}),
              QList<bool>({false, false, false, true, true}));
    EXPECT_FALSE(page.isTimerRunning());
    EXPECT_EQ(page.graphView()->secondsAgo(), 0.0);
    EXPECT_EQ(page.graphView()->effectiveEndDate(), page.dateToPicker()->dateTime());

    // A reversed range shows an empty graph, and nothing breaks.
    page.dateToPicker()->setDateTime(page.dateFromPicker()->dateTime().addDays(-1));
    EXPECT_TRUE(page.graphView()->graphSpecs().front().vertices.empty());
    EXPECT_TRUE(page.graphView()->grab().size().isValid());

    ASSERT_TRUE(page.setRange(QStringLiteral("2d")));
    EXPECT_EQ(page.timeMode(), CWGraphVC::Recent);
    EXPECT_TRUE(page.isTimerRunning());
    EXPECT_EQ(page.graphView()->secondsAgo(), 2 * 86400.0);
    EXPECT_FALSE(page.setRange(QStringLiteral("soon")));
    EXPECT_EQ(page.graphView()->secondsAgo(), 2 * 86400.0);
}

// A window of every sample longer than a slice is read on later turns of the event loop, and the
// graph shows it when all of it is in.
TEST_F(GraphPageControls, ALongWindowShowsOnceReadOverSeveralTurns)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    LogFile(CWLog::sharedLogFile())
        .exec(QString::asprintf("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %lld) "
                                "INSERT INTO battlog (time, Voltage) SELECT %lld + i, 12000 FROM n",
                                CWGraphSamples::kSliceRows + 99, now - 86'400));
    page.activate();
    ASSERT_TRUE(page.setRange(QStringLiteral("2d")));
    EXPECT_TRUE(page.isReading());
    EXPECT_TRUE(page.graphView()->graphSpecs().at(CWGraphSamples::Volts).vertices.empty());
    ASSERT_TRUE(eventuallyTrue([&] { return !page.isReading(); }));
    EXPECT_EQ(page.graphView()->graphSpecs().at(CWGraphSamples::Volts).vertices.size(),
              size_t(CWGraphSamples::kSliceRows + 100));
}

TEST_F(GraphPageControls, DisplaySettingsRescaleAtOnceWhileShown)
{
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setDouble(QStringLiteral("CWBattNominalVoltage"), 11.1);
    page.activate();
    defaults.setDouble(QStringLiteral("CWVoltsSpread"), 2.0);
    EXPECT_DOUBLE_EQ(page.graphView()->voltsMin(), 10.1) << "the curve is placed on the new scale";
    EXPECT_EQ(page.graphView()->majorYLines().first().size(), 2) << "11 and 12 V";
    page.deactivate();
    defaults.setDouble(QStringLiteral("CWVoltsSpread"), 6.0);
    EXPECT_DOUBLE_EQ(page.graphView()->voltsMin(), 10.1) << "a hidden page does not observe";
}
