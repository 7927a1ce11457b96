// Time scales, calendar time lines and value scales of the graph, in a fixed time zone.
#include "CWGraphGrid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QTimeZone kBerlin("Europe/Berlin");

QDateTime local(const char *text)
{
    const QDateTime wallClock = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    return QDateTime(wallClock.date(), wallClock.time(), kBerlin);
}

using Texts = std::vector<std::string>;

Texts labels(const QList<CWGridLine> &lines)
{
    Texts list;
    for (const CWGridLine &line : lines) {
        if (!line.label.isNull())
            list.push_back(line.label.toStdString());
    }
    return list;
}

// The instants of the lines, in Berlin time.
Texts instants(const QList<CWGridLine> &lines, const QDateTime &start, const QDateTime &end)
{
    Texts list;
    for (const CWGridLine &line : lines) {
        const qint64 ms = start.toMSecsSinceEpoch() + std::llround(line.fract * double(start.msecsTo(end)));
        list.push_back(QDateTime::fromMSecsSinceEpoch(ms, kBerlin).toString(Qt::ISODate).left(19).toStdString());
    }
    return list;
}

} // namespace

TEST(GraphGrid, TimeScaleThresholdsAreStrict)
{
    struct Row {
        double span, width;
        CWGraphGrid::TimeScale scale;
    };
    const Row rows[] = {
        {65'664'001, 900, CWGraphGrid::Years},       {65'664'000, 900, CWGraphGrid::Months},
        {15'552'000, 900, CWGraphGrid::Weeks},       {2'678'400, 900, CWGraphGrid::Days},
        {604'801, 900, CWGraphGrid::Days},           {604'800, 900, CWGraphGrid::HoursOverDays},
        {864'000, 1800, CWGraphGrid::HoursOverDays}, {14'401, 900, CWGraphGrid::HoursOverDays},
        {14'400, 900, CWGraphGrid::Hours},           {3'600, 900, CWGraphGrid::Hours},
        {2'700, 900, CWGraphGrid::Minutes},          {3'600, 0, CWGraphGrid::Years},
        {-100, 900, CWGraphGrid::Minutes},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.span << " s over " << row.width);
        EXPECT_EQ(CWGraphGrid::timeScaleFor(row.span, row.width), row.scale);
    }
}

TEST(GraphGrid, TimeLinesFallOnLocalCalendarBoundaries)
{
    struct Row {
        const char *name;
        CWGraphGrid::TimeScale scale;
        const char *start, *end;
        Texts majorLabels, majorInstants;
        qsizetype minorCount;
        const char *firstMinor;
        Texts minorLabels;
    };
    // clang-format off
    const Row rows[] = {
        {"an hour: full hours and quarters, not the start's seconds", CWGraphGrid::Hours, "2024-05-14T13:10:30",
         "2024-05-14T14:10:30", {"14:00"}, {"2024-05-14T14:00:00"}, 3, "2024-05-14T13:15:00", {}},
        {"minutes", CWGraphGrid::Minutes, "2024-05-14T10:58:30", "2024-05-14T11:03:10", {"11:00"},
         {"2024-05-14T11:00:00"}, 4, "2024-05-14T10:59:00", {}},
        {"a fall-back day has 25 hours between its midnights", CWGraphGrid::HoursOverDays, "2024-10-26T18:00:00",
         "2024-10-28T06:00:00", {"27", "28"}, {"2024-10-27T00:00:00", "2024-10-28T00:00:00"}, 6 + 24 + 6,
         "2024-10-26T18:00:00", {"12:00"}},
        {"days across the fall-back", CWGraphGrid::Days, "2024-10-25T09:00:00", "2024-11-03T12:00:00", {"Nov"},
         {"2024-11-01T00:00:00"}, 8, "2024-10-26T00:00:00", {"26", "27", "28", "29", "30", "31", "2", "3"}},
        {"Sundays across the spring-forward", CWGraphGrid::Weeks, "2024-03-20T12:00:00", "2024-04-20T00:00:00",
         {"Apr"}, {"2024-04-01T00:00:00"}, 4, "2024-03-24T00:00:00", {}},
        {"months skip a first before the start", CWGraphGrid::Months, "2023-01-15T00:00:00", "2024-03-01T00:00:00",
         {"2024"}, {"2024-01-01T00:00:00"}, 13, "2023-02-01T00:00:00",
         {"Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec", "Feb", "Mar"}},
        {"years within five have month lines", CWGraphGrid::Years, "2011-03-03T00:00:00", "2014-05-10T00:00:00",
         {"2012", "2013", "2014"}, {"2012-01-01T00:00:00", "2013-01-01T00:00:00", "2014-01-01T00:00:00"},
         9 + 11 + 11 + 4, "2011-04-01T00:00:00", {}},
        {"years over five have none", CWGraphGrid::Years, "2008-06-01T00:00:00", "2014-06-01T00:00:00",
         {"2009", "2010", "2011", "2012", "2013", "2014"},
         {"2009-01-01T00:00:00", "2010-01-01T00:00:00", "2011-01-01T00:00:00", "2012-01-01T00:00:00",
          "2013-01-01T00:00:00", "2014-01-01T00:00:00"},
         0, nullptr, {}},
        {"a reversed range has none", CWGraphGrid::Minutes, "2024-05-14T11:00:00", "2024-05-14T10:00:00", {}, {}, 0,
         nullptr, {}},
        {"an empty range has none", CWGraphGrid::Minutes, "2024-05-14T11:00:00", "2024-05-14T11:00:00", {}, {}, 0,
         nullptr, {}},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QDateTime start = local(row.start);
        const QDateTime end = local(row.end);
        const CWGraphGrid::TimeLines lines = CWGraphGrid::timeLines(start, end, row.scale, kBerlin);
        EXPECT_EQ(labels(lines.major), row.majorLabels);
        EXPECT_EQ(instants(lines.major, start, end), row.majorInstants);
        ASSERT_EQ(lines.minor.size(), row.minorCount);
        if (row.firstMinor) {
            EXPECT_EQ(instants(lines.minor, start, end).front(), row.firstMinor);
        }
        EXPECT_EQ(labels(lines.minor), row.minorLabels);
    }
}

TEST(GraphGrid, ValueScalesAndTheirFallbacks)
{
    struct Row {
        const char *name;
        CWGraphGrid::Settings settings;
        double voltsMin, voltsMax;
        Texts volts;
        double firstVoltFract;
        Texts temperature, capacity;
        double capacityTop; // the place of the top capacity label
    };
    const Texts celsius = {"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"};
    const Texts eight = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
    // clang-format off
    const Row rows[] = {
        {"defaults", {11.1, 6.0, 1, 8}, 8.1, 14.1, {"9", "10", "11", "12", "13", "14"}, 0.15, celsius, eight, 1.0},
        {"nothing set reads as the defaults", {0.0, -1.0, 7, 0}, 8.1, 14.1, {"9", "10", "11", "12", "13", "14"}, 0.15,
         celsius, eight, 1.0},
        {"a clamped bottom keeps the labels on the curve's range", {2.0, 6.0, 2, 5}, 0.0, 5.0,
         {"0", "1", "2", "3", "4", "5"}, 0.0, {"32", "100", "212"}, {"0", "1", "2", "3", "4", "5"}, 1.0},
        {"kelvin; 7.5 Ah puts 7 where 7 Ah is drawn", {12.0, 2.0, 3, 7.5}, 11.0, 13.0, {"11", "12", "13"}, 0.0,
         {"273", "373"}, {"0", "1", "2", "3", "4", "5", "6", "7"}, 7 / 7.5},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const CWGraphGrid::ValueScales scales = CWGraphGrid::valueScales(row.settings);
        EXPECT_DOUBLE_EQ(scales.voltsMin, row.voltsMin);
        EXPECT_DOUBLE_EQ(scales.voltsMax, row.voltsMax);
        ASSERT_EQ(scales.lines.size(), 5);
        EXPECT_EQ(labels(scales.lines[0]), row.volts);
        EXPECT_NEAR(scales.lines[0].first().fract, row.firstVoltFract, 1e-12);
        EXPECT_DOUBLE_EQ(scales.lines[0].last().fract,
                         (std::stod(row.volts.back()) - row.voltsMin) / (row.voltsMax - row.voltsMin));
        EXPECT_EQ(labels(scales.lines[1]), row.temperature);
        EXPECT_DOUBLE_EQ(scales.lines[1].last().fract, 1.0);
        EXPECT_EQ(labels(scales.lines[2]), row.capacity);
        EXPECT_EQ(scales.lines[3], scales.lines[2]);
        EXPECT_DOUBLE_EQ(scales.lines[2].last().fract, row.capacityTop);
        EXPECT_TRUE(scales.lines[4].isEmpty()) << "the power legend has no value scale";
    }
    EXPECT_DOUBLE_EQ(CWGraphGrid::valueScales({11.1, 6.0, 2, 8}).lines[1][1].fract, 68.0 / 180.0);
}
