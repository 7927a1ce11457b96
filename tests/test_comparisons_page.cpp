#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWComparisonsVC.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWPageSelectorView.h"
#include "CWShadowTextField.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kFailed = QStringLiteral("[CWComparisonsVC _showComparison] failed");
const QString kLongName = QStringLiteral("MacBook Air (13-inch, Mid 2013) with an unusually long name from the server");
const QStringList kOwnFields{"yourCapacity", "yourDesignCapacity", "yourVoltage", "yourCycleCount"};
// What the own-value fields show for the fixture's battery.
const QStringList kOwnTexts{"4321 mAh", "8440 mAh", "12.6 V", "153 cycles"};
const QStringList kPopulationFields{
    "minCapacity", "medCapacity", "maxCapacity",
    "minDesignCapacity", "medDesignCapacity", "maxDesignCapacity",
    "minVoltage", "medVoltage", "maxVoltage",
    "minCycleCount", "medCycleCount", "maxCycleCount",
};

QVariantMap snapshot(qint64 capacity, qint64 millivolts, qint64 cycles)
{
    return {{"BatteryInstalled", true}, {"CurrentCapacity", capacity}, {"DesignCapacity", qint64(8440)},
            {"Voltage", millivolts}, {"CycleCount", cycles}};
}

QVariantMap model(qint64 id, const QString &name, const QString &code)
{
    return {{"pb_modelid", id}, {"name", name}, {"code", code}};
}

// Averages whose figures all derive from `base`, so every field tells which model it came from.
QVariantMap averages(qint64 id, qint64 base)
{
    return {{"pb_modelid", QString::number(id)}, {"status", "ok"},
            {"min_capacity", base}, {"med_capacity", base + 1}, {"max_capacity", base + 2},
            {"min_designcap", base + 3}, {"med_designcap", base + 4}, {"max_designcap", base + 5},
            {"min_volts", 11000}, {"med_volts", 12600}, {"max_volts", 12900},
            {"min_cyclecount", base / 100}, {"med_cyclecount", base / 100 + 1}, {"max_cyclecount", base / 100 + 2}};
}

class ComparisonsPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        monitor.tick();
        page.view();
    }

    // The server's two replies, merged by the delegate as they arrive.
    void serverSent(const QVariantList &battData, const QVariantList &models)
    {
        delegate.gotBattData(battData);
        delegate.gotPBModels(models);
    }
    // The second name is longer than the menu is wide: a server's names must not widen the page.
    void serveThreeModels()
    {
        serverSent({averages(1, 5000), averages(2, 7000), averages(3, 6000)},
                   {model(1, "MacBook Pro 13\" Late 2013", "MacBookPro11,1"), model(2, kLongName, "MacBookAir6,2"),
                    model(3, "MacBook Pro 13\" (again)", "MacBookPro11,1")});
    }

    QComboBox *models() { return page.view()->findChild<QComboBox *>("models"); }
    QString text(const QString &field) { return page.view()->findChild<CWShadowTextField *>(field)->text(); }
    QStringList texts(const QStringList &fields)
    {
        QStringList result;
        for (const QString &field : fields)
            result << text(field);
        return result;
    }
    QString note() { return page.view()->findChild<QLabel *>("note")->text(); }
    // The user picks an item in the closed pop-up with the keyboard.
    void pick(int index)
    {
        models()->setFocus();
        while (models()->currentIndex() < index)
            QTest::keyClick(models(), Qt::Key_Down);
        while (models()->currentIndex() > index)
            QTest::keyClick(models(), Qt::Key_Up);
    }

    ScopedDataHome home;
    ScopedFakeBattery battery{snapshot(4321, 12600, 153)};
    CWBatteryMonitor monitor;
    CWAppDelegate delegate;
    CWComparisonsVC page{QStringLiteral("CWComparisonsVC"), monitor, [this] { return delegate.pbdb(); }};
};

} // namespace

TEST_F(ComparisonsPage, OwnModelIsBoldAndTheLaterOfTwoMatchesIsSelected)
{
    serveThreeModels();
    page.activate();

    ASSERT_EQ(models()->count(), 3);
    EXPECT_EQ(models()->itemText(1), kLongName);
    EXPECT_EQ(models()->itemData(1).toLongLong(), 2);
    EXPECT_EQ(models()->itemData(0, Qt::FontRole).value<QFont>(), CWUtil::boldAppFontOfSize(13));
    EXPECT_EQ(models()->itemData(2, Qt::FontRole).value<QFont>(), CWUtil::boldAppFontOfSize(13));
    EXPECT_FALSE(models()->itemData(1, Qt::FontRole).isValid());

    EXPECT_EQ(page.selectedModelid(), 3);
    EXPECT_EQ(models()->currentIndex(), 2);
    EXPECT_EQ(texts(kPopulationFields),
              (QStringList{"6000 mAh", "6001 mAh", "6002 mAh", "6003 mAh", "6004 mAh", "6005 mAh",
                           "11.0 V", "12.6 V", "12.9 V", "60 cycles", "61 cycles", "62 cycles"}));
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
    EXPECT_EQ(note(), "");
}

TEST_F(ComparisonsPage, PickingAModelChangesOnlyThePopulationFields)
{
    serveThreeModels();
    page.activate();
    battery->next = snapshot(3999, 11900, 154);
    monitor.tick();

    pick(1);
    EXPECT_EQ(page.selectedModelid(), 2);
    EXPECT_EQ(text("minCapacity"), "7000 mAh");
    EXPECT_EQ(text("maxCycleCount"), "72 cycles");
    EXPECT_EQ(texts(kOwnFields), kOwnTexts)
        << "own values are read on activation only";
}

TEST_F(ComparisonsPage, ShowingThePageAgainSelectsTheOwnModel)
{
    serveThreeModels();
    page.activate();
    pick(1);
    page.deactivate();

    page.activate();
    EXPECT_EQ(models()->currentIndex(), 2);
    EXPECT_EQ(page.selectedModelid(), 3);
    EXPECT_EQ(text("minCapacity"), "6000 mAh");
    EXPECT_EQ(models()->count(), 3) << "the menu is rebuilt, not appended to";
}

TEST_F(ComparisonsPage, FiguresAsTextFractionsAndMissingKeys)
{
    const QVariantMap sparse{{"pb_modelid", 1}, {"status", "ok"}, {"min_capacity", "4999.7"}, {"med_capacity", "5100"},
                             {"med_volts", "12600"}, {"max_volts", 12649.0}, {"max_cyclecount", "lots"}};
    serverSent({sparse}, {model(1, "MacBook Pro", "MacBookPro11,1")});
    page.activate();

    EXPECT_EQ(texts(kPopulationFields),
              (QStringList{"4999 mAh", "5100 mAh", "0 mAh", "0 mAh", "0 mAh", "0 mAh",
                           "0.0 V", "12.6 V", "12.6 V", "0 cycles", "0 cycles", "0 cycles"}));
}

TEST_F(ComparisonsPage, TooFewMachinesEmptyThePopulationFieldsOnly)
{
    QVariantMap tooSmall = averages(1, 5000);
    tooSmall["status"] = "toosmall";
    serverSent({tooSmall, averages(2, 7000)},
               {model(1, "MacBook Pro", "MacBookPro11,1"), model(2, "MacBook Air", "MacBookAir6,2")});
    page.activate();
    pick(1);
    ASSERT_EQ(text("minCapacity"), "7000 mAh");

    pick(0);
    EXPECT_EQ(texts(kPopulationFields), QStringList(12, QString()));
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
    EXPECT_FALSE(note().isEmpty()) << "the user is told why the figures are missing";

    pick(1);
    EXPECT_EQ(text("minCapacity"), "7000 mAh");
    EXPECT_EQ(note(), "");
}

TEST_F(ComparisonsPage, WithoutAModelListTheFieldsKeepTheirTextAndTheUserIsTold)
{
    serveThreeModels();
    page.activate();
    const QStringList shown = texts(kPopulationFields);

    ConsoleCapture console;
    delegate.gotPBModels(QVariant()); // a failed download leaves no model list
    page.activate();

    EXPECT_EQ(console.lines(), QStringList{kFailed});
    EXPECT_EQ(models()->count(), 0);
    EXPECT_FALSE(models()->isEnabled());
    EXPECT_EQ(texts(kPopulationFields), shown);
    EXPECT_EQ(note(), "No comparison data from the statistics server yet.");
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
}

TEST_F(ComparisonsPage, AModelNotInTheListSelectsNothing)
{
    serverSent({averages(2, 7000)}, {model(2, "MacBook Air", "MacBookAir6,2")});
    ConsoleCapture console;
    page.activate();

    EXPECT_EQ(page.selectedModelid(), 0);
    EXPECT_EQ(models()->currentIndex(), -1);
    EXPECT_FALSE(models()->itemData(0, Qt::FontRole).isValid());
    EXPECT_EQ(console.lines(), QStringList{kFailed});
    EXPECT_EQ(note(), "") << "the list is there to choose from";

    pick(0);
    EXPECT_EQ(text("medCapacity"), "7001 mAh");
}

TEST_F(ComparisonsPage, FiguresFormAGridThatFitsTheSmallestWindow)
{
    serveThreeModels();
    CWDisplayController controller(monitor, &CWLog::sharedLog, [this] { return delegate.pbdb(); });
    controller.showMainWindow();
    QMainWindow *window = controller.mainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(window->minimumSize());
    controller.pageSelector()->setSelectedIndex(2);
    // Each level of nested layouts follows a new size in a turn of the event loop of its own.
    for (int level = 0; level < 3; ++level)
        QCoreApplication::processEvents();

    QWidget *view = controller.comparisonsVC()->view();
    ASSERT_EQ(view->parentWidget(), controller.mainContentView());
    const auto frame = [view](const QString &name) {
        const QWidget *widget = view->findChild<QWidget *>(name);
        return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
    };
    const QStringList rows{"Capacity", "DesignCapacity", "Voltage", "CycleCount"};
    for (const QString &column : QStringList{"your", "min", "med", "max"}) {
        const QRect caption = frame(column + "Caption");
        QRect above = caption;
        for (const QString &row : rows) {
            const QRect field = frame(column + row);
            EXPECT_EQ(field.right(), caption.right()) << qPrintable(column + row);
            EXPECT_GT(field.top(), above.bottom()) << qPrintable(column + row);
            EXPECT_TRUE(view->rect().contains(field)) << qPrintable(column + row) << " lies outside the page";
            EXPECT_FALSE(view->findChild<CWShadowTextField *>(column + row)->text().isEmpty());
            above = field;
        }
    }
    EXPECT_LT(frame("models").bottom(), frame("yourCaption").top());
    EXPECT_TRUE(view->rect().contains(frame("models")));
}
