#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWEventLogVC.h"
#include "CWLog.h"
#include "LogTestSupport.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kShowBattData = QStringLiteral("CWEventLogShowBattData");
const QString kTemperatureUnit = QStringLiteral("CWDefaultTemperatureUnit");

class EventLogPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults &defaults = UserDefaults::standard();
        defaults.clearAll();
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
        execute(QString::asprintf("INSERT INTO eventlog (time, eventtype, data) VALUES (%lld, %d, %s)", time, code, data));
    }

    std::unique_ptr<CWEventLogVC> openPage()
    {
        auto page = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"), monitor, CWLog::sharedLog());
        page->view();
        return page;
    }
    // The arranged rows as "time b" for readings and "time e<code>" for events.
    static QStringList arranged(const CWEventLogVC &page)
    {
        QStringList rows;
        const CWEventRowsModel *model = page.eventsToShowAC();
        for (int row = 0; row < model->rowCount(); ++row) {
            const CWEventRow &r = model->arrangedRow(row);
            rows << QString::number(r.time) + (r.type == CWEventRow::Reading ? QStringLiteral(" b") : QStringLiteral(" e%1").arg(int(r.eventCode)));
        }
        return rows;
    }
    static QString text(const CWEventLogVC &page, int row, int column)
    {
        const CWEventRowsModel *model = page.eventsToShowAC();
        return model->data(model->index(row, column)).toString();
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
    const auto page = openPage();
    EXPECT_EQ(arranged(*page), QStringList({"1001 b", "1000 b", "1000 e4", "999 e3"}));
    EXPECT_EQ(page->highestBattIDRecorded(), 2u);
    EXPECT_EQ(page->highestEventIDRecorded(), 2u);

    EXPECT_EQ(text(*page, 0, CWEventRowsModel::TimeColumn), QDateTime::fromSecsSinceEpoch(1001).toString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(text(*page, 0, CWEventRowsModel::EventColumn), "Batt reading");
    EXPECT_EQ(text(*page, 2, CWEventRowsModel::EventColumn), "Unplugged");
}

TEST_F(EventLogPage, SampleWithoutTemperatureIsSkippedButCounted)
{
    addSample(100);
    addSample(101, "NULL");
    const auto page = openPage();
    EXPECT_EQ(arranged(*page), QStringList({"100 b"}));
    EXPECT_EQ(page->highestBattIDRecorded(), 2u);
}

TEST_F(EventLogPage, UpdatesOnBatteryNotificationsOnlyWhileActive)
{
    addEvent(100, 1);
    const auto page = openPage();
    page->activate();
    QSignalSpy resets(page->eventsToShowAC(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(page->eventsToShowAC(), &QAbstractItemModel::rowsInserted);

    addSample(101);
    addEvent(101, 3);
    NotificationCenter::defaultCenter().post(kCWBatteryUpdatedNotification, &home);
    EXPECT_EQ(arranged(*page).size(), 1) << "only its monitor's updates count";
    postBatteryUpdate();
    EXPECT_EQ(arranged(*page), QStringList({"101 b", "101 e3", "100 e1"}));
    EXPECT_EQ(inserts.size(), 1);
    EXPECT_EQ(resets.size(), 0) << "new rows on top keep the view's scroll position";
    postBatteryUpdate();
    EXPECT_EQ(inserts.size(), 1) << "nothing new, nothing changed";

    page->deactivate();
    addSample(102);
    postBatteryUpdate();
    UserDefaults::standard().setBool(kShowBattData, false);
    EXPECT_EQ(arranged(*page).size(), 3);

    UserDefaults::standard().setBool(kShowBattData, true);
    page->activate();
    postBatteryUpdate();
    EXPECT_EQ(arranged(*page).first(), "102 b");
}

// Whatever comes after the page is gone must not reach it (the sanitizer run sees a stray call).
TEST_F(EventLogPage, ADestroyedActivePageIsNotCalled)
{
    auto page = openPage();
    page->activate();
    page.reset();
    addSample(100);
    postBatteryUpdate();
    UserDefaults::standard().setBool(kShowBattData, false);
}

TEST_F(EventLogPage, ReadingsOffFromTheStartAreNeverRead)
{
    UserDefaults::standard().setBool(kShowBattData, false);
    addSample(100);
    addEvent(101, 3);
    const auto page = openPage();
    QSignalSpy resets(page->eventsToShowAC(), &QAbstractItemModel::modelReset);
    page->activate();
    postBatteryUpdate();
    EXPECT_EQ(arranged(*page), QStringList({"101 e3"}));
    EXPECT_EQ(page->highestBattIDRecorded(), 0u);
    EXPECT_EQ(resets.size(), 0);
    EXPECT_FALSE(page->view()->findChild<QCheckBox *>("showBattData")->isChecked());
}

TEST_F(EventLogPage, TurningReadingsOffRemovesExactlyThemAndOnReloadsAll)
{
    addEvent(100, 1);
    addSample(101);
    addEvent(102, 4);
    addSample(103);
    addSample(104);
    addEvent(105, 3);
    const auto page = openPage();
    page->activate();
    const QStringList all = {"105 e3", "104 b", "103 b", "102 e4", "101 b", "100 e1"};
    ASSERT_EQ(arranged(*page), all);

    QCheckBox *showReadings = page->view()->findChild<QCheckBox *>("showBattData");
    ASSERT_TRUE(showReadings->isChecked());
    QTest::mouseClick(showReadings, Qt::LeftButton);
    EXPECT_FALSE(UserDefaults::standard().boolForKey(kShowBattData));
    EXPECT_EQ(arranged(*page), QStringList({"105 e3", "102 e4", "100 e1"}));
    EXPECT_EQ(page->highestBattIDRecorded(), 0u);

    UserDefaults::standard().setBool(kShowBattData, true);
    EXPECT_TRUE(showReadings->isChecked());
    EXPECT_EQ(arranged(*page), all);
    EXPECT_EQ(page->highestBattIDRecorded(), 3u);
}

TEST_F(EventLogPage, LongHistoryFillsInStepsWithLaterEventsWaitingForTheirReadings)
{
    execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
            "INSERT INTO battlog (time, Temperature) SELECT i, 3000 FROM n");
    addEvent(5000, 3);
    addEvent(20000, 4);
    const auto page = openPage();
    page->activate();
    const CWEventRowsModel *model = page->eventsToShowAC();
    EXPECT_EQ(model->rowCount(), 10001);
    EXPECT_EQ(arranged(*page)[5000], "5000 b");
    EXPECT_EQ(arranged(*page)[5001], "5000 e3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount() == 10002; }, 5000));
    EXPECT_EQ(arranged(*page).first(), "20000 e4");

    addEvent(20001, 3);
    addEvent(20002, 4);
    const auto reopened = openPage();
    reopened->activate();
    EXPECT_EQ(arranged(*reopened).first(), "10000 b") << "the newest events wait for the next step";
    UserDefaults::standard().setBool(kShowBattData, false);
    EXPECT_EQ(arranged(*reopened), QStringList({"20002 e4", "20001 e3", "20000 e4", "5000 e3"}))
        << "without readings nothing is left to wait for";
}

TEST_F(EventLogPage, NotesStateTheReadingInTheChosenTemperatureUnit)
{
    addSample(100);
    addEvent(101, 5, "'W01234'");
    addEvent(102, 4);
    const QString reading = QStringLiteral("4500 mAh, 12.345 V, -1.500 A");
    const QList<std::pair<int, QString>> cases = {{3, reading + ", 303.1 K"},
                                                  {2, reading + ", 85.9 °F"},
                                                  {1, reading + ", 30.0 °C"},
                                                  {0, reading}};
    for (const auto &[unit, notes] : cases) {
        UserDefaults::standard().setInteger(kTemperatureUnit, unit);
        const auto page = openPage();
        EXPECT_EQ(text(*page, 2, CWEventRowsModel::NotesColumn), notes) << "unit " << unit;
        EXPECT_EQ(text(*page, 1, CWEventRowsModel::NotesColumn), "W01234");
        EXPECT_EQ(text(*page, 0, CWEventRowsModel::NotesColumn), "") << "an event without data";
    }
}

TEST_F(EventLogPage, ColumnsFitTheirTexts)
{
    addSample(1700000000);
    const auto page = openPage();
    page->view()->resize(900, 500);
    const QTableView *table = page->eventsTable();
    const QFontMetrics metrics = table->fontMetrics();
    const QHeaderView *header = table->horizontalHeader();
    EXPECT_GT(header->sectionSize(CWEventRowsModel::TimeColumn),
              metrics.horizontalAdvance(text(*page, 0, CWEventRowsModel::TimeColumn)));
    EXPECT_GT(header->sectionSize(CWEventRowsModel::EventColumn), metrics.horizontalAdvance("Batt is not full"));
    EXPECT_EQ(table->model()->headerData(CWEventRowsModel::NotesColumn, Qt::Horizontal).toString(), "Notes");
}

TEST(EventRowsModel, RowsAddedLaterSitBelowRowsOfTheSameSecond)
{
    CWEventRowsModel model;
    model.addRows({model.eventRow(1, 50, CWEventType::PluggedIn, {}), model.eventRow(2, 60, CWEventType::Unplugged, {})});
    model.addRows({CWEventRow::reading(1, 60, 0, 0, 0, 0, 1), CWEventRow::reading(2, 70, 0, 0, 0, 0, 1)});
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.arrangedRow(0).time, 70);
    EXPECT_EQ(model.arrangedRow(1).type, CWEventRow::Event) << "the event of second 60 was there first";
    EXPECT_EQ(model.arrangedRow(2).type, CWEventRow::Reading);
    EXPECT_EQ(model.arrangedRow(3).time, 50);
}

TEST(EventRowsModel, RowsFromBetweenShownRowsFindTheirPlace)
{
    CWEventRowsModel model;
    model.addRows({model.eventRow(1, 10, CWEventType::Started, {}), model.eventRow(2, 30, CWEventType::Stopped, {})});
    model.addRows({CWEventRow::reading(1, 5, 0, 0, 0, 0, 1), CWEventRow::reading(2, 20, 0, 0, 0, 0, 1),
                   CWEventRow::reading(3, 40, 0, 0, 0, 0, 1)});
    QList<qint64> times;
    for (int row = 0; row < model.rowCount(); ++row)
        times << model.arrangedRow(row).time;
    EXPECT_EQ(times, QList<qint64>({40, 30, 20, 10, 5}));
    model.removeReadings();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.arrangedRow(0).time, 30);
}
