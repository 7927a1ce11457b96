// The Event Log page: events and readings merged newest first, followed while on screen.
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWEventLogVC.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kShowBattData = u"CWEventLogShowBattData"_s;

// A row as "time b" for a reading and "time e<code>" for an event.
QString rowText(const CWEventRow &row)
{
    return QString::number(row.time) + (row.type == CWEventRow::Reading ? u" b"_s : u" e%1"_s.arg(int(row.eventCode)));
}

QStringList rowsOf(const CWEventRowsModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row)
        rows << rowText(model.arrangedRow(row));
    return rows;
}

class EventLogPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::standard().clearAll();
        CWAppDelegate::registerDefaults();
        ASSERT_NE(CWLog::sharedLog(), nullptr);
    }
    void TearDown() override { UserDefaults::standard().clearAll(); }

    // Rows with explicit times go in through SQL; the log itself stamps rows with the current time.
    void execute(const QString &sql) { LogFile(CWLog::sharedLogFile()).exec(sql); }
    void addSample(qint64 time, const char *temperature = "3031")
    {
        execute(QString::asprintf("INSERT INTO battlog (time, CurrentCapacity, Voltage, InstantAmperage, Temperature) "
                                  "VALUES (%lld, 4500, 12345, -1500, %s)",
                                  time, temperature));
    }
    void addEvent(qint64 time, int code, const char *data = "NULL")
    {
        execute(
            QString::asprintf("INSERT INTO eventlog (time, eventtype, data) VALUES (%lld, %d, %s)", time, code, data));
    }
    std::unique_ptr<CWEventLogVC> openPage()
    {
        auto page = std::make_unique<CWEventLogVC>(u"CWEventLogVC"_s, monitor, CWLog::sharedLog());
        page->view();
        return page;
    }
    static QStringList arranged(const CWEventLogVC &page) { return rowsOf(*page.eventsToShowAC()); }
    static QString text(const CWEventLogVC &page, int row, int column)
    {
        return page.eventsToShowAC()->data(page.eventsToShowAC()->index(row, column)).toString();
    }
    void postBatteryUpdate() { NotificationCenter::defaultCenter().post(kCWBatteryUpdatedNotification, &monitor); }

    ScopedDataHome home;
    CWBatteryMonitor monitor;
};

} // namespace

TEST_F(EventLogPage, MergesNewestFirstWithTheReadingAboveAnEventOfTheSameSecond)
{
    addEvent(999, 3);
    addEvent(1000, 4);
    addSample(1000);
    addSample(1001);
    addSample(1002, "NULL"); // most Linux batteries report no temperature
    const auto page = openPage();
    EXPECT_EQ(arranged(*page), QStringList({u"1002 b"_s, u"1001 b"_s, u"1000 b"_s, u"1000 e4"_s, u"999 e3"_s}));
    EXPECT_EQ(text(*page, 0, CWEventRowsModel::NotesColumn), u"4500 mAh, 12.345 V, -1.500 A"_s);
    EXPECT_EQ(std::pair(page->highestBattIDRecorded(), page->highestEventIDRecorded()),
              std::pair(quint64(3), quint64(2)));
    EXPECT_EQ(text(*page, 1, CWEventRowsModel::TimeColumn),
              QDateTime::fromSecsSinceEpoch(1001).toString(u"yyyy-MM-dd HH:mm:ss"_s));
    EXPECT_EQ(text(*page, 0, CWEventRowsModel::EventColumn), u"Batt reading"_s);
    EXPECT_EQ(text(*page, 3, CWEventRowsModel::EventColumn), u"Unplugged"_s);
}

TEST_F(EventLogPage, FollowsItsMonitorOnlyWhileActiveAndNeverOnceDestroyed)
{
    addEvent(100, 1);
    auto page = openPage();
    page->activate();
    QSignalSpy resets(page->eventsToShowAC(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(page->eventsToShowAC(), &QAbstractItemModel::rowsInserted);
    addSample(101);
    addEvent(101, 3);
    NotificationCenter::defaultCenter().post(kCWBatteryUpdatedNotification, &home);
    EXPECT_EQ(arranged(*page).size(), 1) << "only its monitor's updates count";
    postBatteryUpdate();
    postBatteryUpdate();
    EXPECT_EQ(arranged(*page), QStringList({u"101 b"_s, u"101 e3"_s, u"100 e1"_s}));
    EXPECT_EQ(std::pair(inserts.size(), resets.size()), std::pair(qsizetype(1), qsizetype(0)))
        << "new rows on top keep the view's scroll position; nothing new, nothing changed";

    page->deactivate();
    addSample(102);
    postBatteryUpdate();
    UserDefaults::standard().setBool(kShowBattData, false);
    EXPECT_EQ(arranged(*page).size(), 3);
    UserDefaults::standard().setBool(kShowBattData, true);
    page->activate();
    postBatteryUpdate();
    EXPECT_EQ(arranged(*page).first(), u"102 b"_s);

    page.reset(); // what comes after the page is gone must not reach it (the sanitizer run sees a stray call)
    addSample(103);
    postBatteryUpdate();
    UserDefaults::standard().setBool(kShowBattData, false);
}

TEST_F(EventLogPage, TurningReadingsOffRemovesExactlyThemAndOnReloadsAll)
{
    addEvent(100, 1);
    addSample(101);
    addEvent(102, 4);
    addSample(103);
    addEvent(105, 3);
    UserDefaults::standard().setBool(kShowBattData, false);
    const auto page = openPage();
    QSignalSpy resets(page->eventsToShowAC(), &QAbstractItemModel::modelReset);
    page->activate();
    const QStringList events{u"105 e3"_s, u"102 e4"_s, u"100 e1"_s};
    EXPECT_EQ(arranged(*page), events);
    EXPECT_EQ(std::pair(page->highestBattIDRecorded(), resets.size()), std::pair(quint64(0), qsizetype(0)))
        << "readings turned off from the start are never read";

    QCheckBox *showReadings = page->view()->findChild<QCheckBox *>(u"showBattData"_s);
    ASSERT_FALSE(showReadings->isChecked());
    QTest::mouseClick(showReadings, Qt::LeftButton);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(kShowBattData));
    EXPECT_EQ(arranged(*page), QStringList({u"105 e3"_s, u"103 b"_s, u"102 e4"_s, u"101 b"_s, u"100 e1"_s}));
    UserDefaults::standard().setBool(kShowBattData, false);
    EXPECT_FALSE(showReadings->isChecked()) << "a change made elsewhere shows";
    EXPECT_EQ(std::pair(arranged(*page), page->highestBattIDRecorded()), std::pair(events, quint64(0)));
}

// The page reads only the rows it shows; whichever rows it is asked for, in whatever order, they
// must be those of one merge of all readings and events by time, as one update of a page holding
// every row would make them, also where the clock was set back.
TEST_F(EventLogPage, AnyRowsReadAreThoseOfTheWholeMergeNewestFirst)
{
    execute(u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
            "INSERT INTO battlog (time, Temperature) SELECT 1000 + i - (i > 500), 3000 FROM n; "
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 49) "
            "INSERT INTO battlog (time) SELECT 1200 + i FROM n"_s);
    for (const auto &[time, code] : {std::pair(999, 3), {1000, 4}, {1500, 9}, {1500, 10}, {1700, 7}})
        addEvent(time, code);

    // Merged oldest first, an event before a reading only when strictly earlier; then sorted by
    // time, newest first, rows of one second keeping their merged order.
    LogFile db(CWLog::sharedLogFile());
    const QStringList readingTimes = db.column(u"SELECT time FROM battlog ORDER BY testidx"_s);
    const QStringList eventTimes = db.column(u"SELECT time FROM eventlog ORDER BY eventidx"_s);
    const QStringList eventCodes = db.column(u"SELECT eventtype FROM eventlog ORDER BY eventidx"_s);
    std::vector<std::pair<int, QString>> merged;
    for (qsizetype r = 0, e = 0; r < readingTimes.size() || e < eventTimes.size();) {
        if (r == readingTimes.size() || (e < eventTimes.size() && eventTimes[e].toInt() < readingTimes[r].toInt()))
            merged.emplace_back(eventTimes[e].toInt(), eventTimes[e] + u" e"_s + eventCodes[e]), ++e;
        else
            merged.emplace_back(readingTimes[r].toInt(), readingTimes[r] + u" b"_s), ++r;
    }
    std::stable_sort(merged.begin(), merged.end(), [](const auto &a, const auto &b) { return a.first > b.first; });

    const auto page = openPage();
    const CWEventRowsModel &model = *page->eventsToShowAC();
    ASSERT_EQ(model.rowCount(), qsizetype(merged.size()));
    for (const bool backwards : {false, true}) {
        for (int i = 0; i < model.rowCount(); ++i) {
            const int row = backwards ? model.rowCount() - 1 - i : i;
            ASSERT_EQ(rowText(model.arrangedRow(row)), merged[size_t(row)].second) << "row " << row;
        }
    }
}

// The table holds a screenful, whatever the log's length; the page's scroll bar stands for the
// whole log, and rows logged later keep a table scrolled down where it was.
TEST_F(EventLogPage, TheTableShowsAScreenfulWhereTheScrollBarPoints)
{
    execute(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
            "INSERT INTO battlog (time, Temperature) SELECT 1000 + i, 3000 FROM n"_s);
    const auto page = openPage();
    page->activate();
    page->view()->resize(900, 500);
    page->view()->show();
    QTableView *table = page->eventsTable();
    auto *bar = page->view()->findChild<QScrollBar *>(u"eventsScrollBar"_s);
    const QAbstractItemModel *shown = table->model();
    EXPECT_EQ(shown->rowCount(), table->viewport()->height() / table->verticalHeader()->defaultSectionSize() + 1);
    EXPECT_EQ(bar->maximum(), 1000 - (shown->rowCount() - 1));
    const auto shownTime = [&](int row) { return shown->data(shown->index(row, CWEventRowsModel::TimeColumn)); };
    bar->setValue(500);
    EXPECT_EQ(shownTime(0), text(*page, 500, CWEventRowsModel::TimeColumn));
    addSample(5000);
    addSample(5001);
    postBatteryUpdate();
    EXPECT_EQ(std::pair(bar->value(), shownTime(0).toString()),
              std::pair(502, text(*page, 502, CWEventRowsModel::TimeColumn)));
    QTest::keyClick(table, Qt::Key_Home);
    EXPECT_EQ(shownTime(0), text(*page, 0, CWEventRowsModel::TimeColumn));
}

TEST_F(EventLogPage, NotesStateTheReadingInTheChosenTemperatureUnitAndColumnsFitTheirTexts)
{
    addSample(1700000000);
    addEvent(1700000001, 5, "'W01234'");
    addEvent(1700000002, 4);
    const QString reading = u"4500 mAh, 12.345 V, -1.500 A"_s;
    const std::pair<int, QString> units[] = {{3, reading + u", 303.1 K"_s},
                                             {2, reading + u", 85.9 °F"_s},
                                             {1, reading + u", 30.0 °C"_s},
                                             {0, reading}};
    for (const auto &[unit, notes] : units) {
        UserDefaults::standard().setInteger(u"CWDefaultTemperatureUnit"_s, unit);
        const auto page = openPage();
        EXPECT_EQ(QStringList({text(*page, 2, CWEventRowsModel::NotesColumn),
                               text(*page, 1, CWEventRowsModel::NotesColumn),
                               text(*page, 0, CWEventRowsModel::NotesColumn)}),
                  QStringList({notes, u"W01234"_s, QString()}))
            << "unit " << unit;
    }
    const auto page = openPage();
    page->view()->resize(900, 500);
    const QTableView *table = page->eventsTable();
    EXPECT_GT(table->horizontalHeader()->sectionSize(CWEventRowsModel::TimeColumn),
              table->fontMetrics().horizontalAdvance(text(*page, 0, CWEventRowsModel::TimeColumn)));
    EXPECT_GT(table->horizontalHeader()->sectionSize(CWEventRowsModel::EventColumn),
              table->fontMetrics().horizontalAdvance(u"Batt is not full"_s));
}
