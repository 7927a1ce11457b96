// The battery report: each section's numbers on a hand-built log, the forecast on generated logs of
// known fade, a page that a strict parser accepts with nothing outside it, and the menu's way to it.
#include "CWBatteryReportData.h"
#include "CWBatteryReportWriter.h"
#include "CWReportCommand.h"
#include "LogGenerator.h"
#include "TestSupport.h"
#include "UrlOpener.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kHour = 3600;
constexpr qint64 kDay = 86400;
// 2024-03-10 00:00 at UTC+2.
constexpr qint64 kMidnight = 1710021600;
constexpr qint64 kEnd = kMidnight + 6 * kHour;
// Samples on battery come at most this far apart, or the machine slept.
constexpr qint64 kStep = 900;
constexpr qint64 kSessionsFrom = kEnd - 3 * kDay;

class BatteryReportTest : public LogTest {
protected:
    // A sample on battery (or on the adapter) with its charge in mAh at 12 V, and optionally an event.
    void sample(qint64 time, bool adapter, int charge, int event = 0)
    {
        LogFile file(path());
        file.exec(
            QString::asprintf("INSERT INTO battlog (time, significance, ExternalConnected, CurrentCapacity, Voltage, "
                              "MaxCapacity) VALUES (%lld, 4, %d, %d, 12000, 4000)",
                              time, adapter, charge));
        if (event)
            file.exec(QString::asprintf("INSERT INTO eventlog (eventtype, time) VALUES (%d, %lld)", event, time));
    }

    CWBatteryReportData read()
    {
        QString error;
        std::optional<CWBatteryReportData> data = CWBatteryReportData::read(path(), 0, &error);
        EXPECT_TRUE(data) << error.toStdString();
        return std::move(*data);
    }

    ScopedEnv _zone{"TZ", "XST-2"};
};

} // namespace

TEST_F(BatteryReportTest, UsageIsCutAtMidnightAndTheRangeStartAndSkipsGapsAndAClockGoingBack)
{
    sample(kSessionsFrom - kStep, false, 4000);
    sample(kSessionsFrom + kStep, true, 3900, 3); // plugged in: half the session lies in the range
    sample(kMidnight - kStep, false, 4000, 4);    // unplugged before midnight
    sample(kMidnight + kStep, false, 3800, 2);    // 200 mAh, then logging stops
    sample(kMidnight + 5 * kHour, false, 3700);   // after the gap: neither time nor charge counts
    sample(kMidnight + 5 * kHour + 2 * kStep, false, 3600);
    sample(kMidnight + 5 * kHour + kStep, false, 3550); // the clock went back
    sample(kMidnight + 5 * kHour + 3 * kStep, false, 3500);
    sample(kEnd, false, 3450);

    const CWBatteryReportData data = read();
    const CWBatteryUsage &usage = data.usage();
    struct DayRow {
        int daysBack;
        double batteryHours, adapterHours, wattHours;
    };
    for (const DayRow &expected :
         {DayRow{0, 1.5, 0, 3.6}, DayRow{1, 0.25, 23.75, 1.2}, DayRow{2, 0, 24, 0}, DayRow{4, 0, 0, 0}}) {
        SCOPED_TRACE(expected.daysBack);
        const CWBatteryUsage::Day &day = usage.days()[CWBatteryUsage::kDays - 1 - expected.daysBack];
        EXPECT_EQ(day.date, QDate(2024, 3, 10).addDays(-expected.daysBack));
        EXPECT_NEAR(day.amounts.batterySeconds, expected.batteryHours * kHour, 1);
        EXPECT_NEAR(day.amounts.adapterSeconds, expected.adapterHours * kHour, 1);
        EXPECT_NEAR(day.amounts.wattHours, expected.wattHours, 1e-6);
    }
    struct SessionRow {
        qint64 start;
        double hours, milliAmpHours;
    };
    const std::vector<SessionRow> sessions{{kSessionsFrom, 0.25, 50},
                                           {kMidnight - kStep, 0.5, 200},
                                           {kMidnight + 5 * kHour, 0.5, 100},
                                           {kMidnight + 5 * kHour + kStep, 0.75, 100}};
    ASSERT_EQ(usage.sessions().size(), sessions.size());
    for (size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(usage.sessions()[i].start, sessions[i].start);
        EXPECT_NEAR(usage.sessions()[i].amounts.batterySeconds, sessions[i].hours * kHour, 1);
        EXPECT_NEAR(usage.sessions()[i].amounts.milliAmpHours, sessions[i].milliAmpHours, 1e-6);
    }
    // The last 7 days: 2.25 h on battery, 500 mAh at 12 V.
    EXPECT_NEAR(usage.average(0).batterySeconds, 2.25 * kHour, 1);
    EXPECT_NEAR(usage.average(0).wattHours, 6.0, 1e-6);

    // One capacity point a day with samples (none on 03-08); --days 1 keeps the last two.
    EXPECT_EQ(data.history().size(), 3u);
    QString error;
    EXPECT_EQ(CWBatteryReportData::read(path(), 1, &error)->history().size(), 2u);

    const QString html = QString::fromUtf8(CWBatteryReportWriter::html(data, QString()));
    for (const QString &part : {u"<tr><td>Last 7 days</td><td>2.7 W</td><td>18 h 00 m</td><td>—</td></tr>"_s,
                                u"<tr><td>2024-03-10 Sun</td><td>1 h 30 m</td><td>0 h 00 m</td><td>3.6 Wh</td></tr>"_s,
                                u"<tr><td>2024-03-06 Wed</td><td>—</td><td>—</td><td>—</td></tr>"_s,
                                u"<th scope=\"row\">Design capacity</th><td>—</td>"_s,
                                u"<th scope=\"row\">Computer</th><td>—</td>"_s, u"not enough history yet"_s})
        EXPECT_TRUE(html.contains(part)) << part.toStdString();
}

TEST(HealthForecast, TheilSenIgnoresRecalibrationJumpsAndNeedsAMonthOfMeasurableLoss)
{
    struct Row {
        const char *name;
        int days;
        double lossPerDay; // mAh
        bool jumps;
        bool enough;
    };
    for (const Row &row : {Row{"a fading battery with jumps", 120, 2, true, true}, Row{"20 days", 20, 2, false, false},
                           Row{"no measurable loss", 120, 0.01, false, false}}) {
        SCOPED_TRACE(row.name);
        std::vector<CWHealthForecast::Day> days;
        for (int day = 0; day < row.days; ++day) {
            // Every ninth day the gauge reads 300 mAh high after a recalibration; a little noise always.
            const double jump = row.jumps && day % 9 == 0 ? 300 : 0;
            const double noise = 3 * std::sin(day * 1.7);
            days.push_back({1'700'000'000 + day * kDay, 4800 - row.lossPerDay * day + jump + noise, 300.0 + day});
        }
        const CWHealthForecast forecast = CWHealthForecast::fit(days, 5000);
        ASSERT_EQ(forecast.enoughHistory(), row.enough);
        if (!row.enough)
            continue;
        // 4800 - 2 mAh a day reaches 4000 after 400 days.
        const qint64 truth = 1'700'000'000 + 400 * kDay;
        EXPECT_NEAR(double(*forecast.at80()->expected), double(truth), 3 * kDay);
        EXPECT_LT(*forecast.at80()->earliest, *forecast.at80()->expected);
        EXPECT_GT(*forecast.at80()->latest, *forecast.at80()->expected);
        EXPECT_NEAR(*forecast.lossPer100Cycles(), 200, 5);
    }
}

TEST_F(BatteryReportTest, TheForecastOfAGeneratedLogMeetsTheSimulatedFadeAndTheReportIsStrictHtml)
{
    struct Row {
        qint64 samples;
        double months;
        bool enough;
    };
    for (const Row &row : {Row{200'000, 2.5, true}, Row{60'000, 10.0 / 30.4375, false}}) {
        SCOPED_TRACE(row.samples);
        const QString file = dir.filePath(QString::number(row.samples) + u".sqlite"_s);
        const std::optional<LogGenerator::Summary> summary =
            LogGenerator::generate(file, {row.samples, row.months, 1'700'000'000, true});
        ASSERT_TRUE(summary);
        QString error;
        const std::optional<CWBatteryReportData> data = CWBatteryReportData::read(file, 0, &error);
        ASSERT_TRUE(data) << error.toStdString();
        ASSERT_EQ(data->forecast().enoughHistory(), row.enough);

        if (row.enough) {
            // The simulated pack loses capacity per cycle, cycles with the time the machine runs, and
            // the machine runs the same share of every day: find where it reaches 80 % of design.
            const auto capacityAt = [](double onSeconds) {
                return SimulatedBattery::snapshotAt(onSeconds).value(u"MaxCapacity"_s).toDouble();
            };
            const double lastOn = double(row.samples - 1) * SimulatedBattery::kReadingInterval;
            double low = lastOn, high = lastOn * 1000;
            while (high - low > 60) {
                const double middle = (low + high) / 2;
                (capacityAt(middle) > 4000 ? low : high) = middle;
            }
            const double calendarPerOn = double(summary->lastTime - summary->firstTime) / lastOn;
            const double truth = double(summary->lastTime) + (high - lastOn) * calendarPerOn;
            const double expected = double(*data->forecast().at80()->expected);
            EXPECT_NEAR(expected, truth, 0.1 * (truth - double(summary->lastTime)));
        }

        const QString page = dir.filePath(QString::number(row.samples) + u".html"_s);
        QFile out(page);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(CWBatteryReportWriter::html(*data, u"MacBookPro11,1 <test>"_s));
        out.close();
        QProcess parser;
        parser.start(u"xmllint"_s, {u"--noout"_s, page});
        ASSERT_TRUE(parser.waitForFinished(30000));
        EXPECT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(out.readAll());
        for (const QString &reference : {u"src="_s, u"href"_s, u"url("_s, u"@import"_s, u"//"_s, u"<script"_s})
            EXPECT_FALSE(html.contains(reference, Qt::CaseInsensitive)) << reference.toStdString();
        EXPECT_EQ(html.count(u"<svg "_s), 2);
        EXPECT_TRUE(html.contains(u"MacBookPro11,1 &lt;test&gt;"_s));
    }
}

TEST(BatteryReportMenu, WritesTheApplicationsLogReportToATemporaryFileAndOpensIt)
{
    const ScopedDataHome home;
    ASSERT_TRUE(QDir().mkpath(home.supportPath()));
    ASSERT_TRUE(CWLog::initWithFile(home.supportPath() + u"/battLog3.sqlite"_s));
    LogFile(home.supportPath() + u"/battLog3.sqlite"_s)
        .exec(u"INSERT INTO battlog (time, MaxCapacity) VALUES (1700000000, 4321)"_s);
    QUrl opened;
    const UrlOpener::Handler previous = UrlOpener::setHandler([&opened](const QUrl &url) {
        opened = url;
        return true;
    });
    EXPECT_TRUE(CWReportCommand::openInBrowser());
    UrlOpener::setHandler(previous);
    QFile page(opened.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("<td>4321 mAh</td>"));
    page.remove();
}
