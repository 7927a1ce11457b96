// The Comparisons page: the own battery's figures beside those of the machines of a chosen model.
#include "CWBatteryMonitor.h"
#include "CWComparisonsVC.h"
#include "CWDisplayController.h"
#include "CWPageSelectorView.h"
#include "CWShadowTextField.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>

namespace {

const QString kFailed = u"[CWComparisonsVC _showComparison] failed"_s;
const QString kLongName = u"MacBook Air (13-inch, Mid 2013) with an unusually long name from the server"_s;
const QStringList kOwnFields{u"yourCapacity"_s, u"yourDesignCapacity"_s, u"yourVoltage"_s, u"yourCycleCount"_s};
const QStringList kOwnTexts{u"4321 mAh"_s, u"8440 mAh"_s, u"12.6 V"_s, u"153 cycles"_s}; // the fixture's battery
const QStringList kPopulationFields{u"minCapacity"_s,       u"medCapacity"_s,       u"maxCapacity"_s,
                                    u"minDesignCapacity"_s, u"medDesignCapacity"_s, u"maxDesignCapacity"_s,
                                    u"minVoltage"_s,        u"medVoltage"_s,        u"maxVoltage"_s,
                                    u"minCycleCount"_s,     u"medCycleCount"_s,     u"maxCycleCount"_s};

QVariantMap snapshot(qint64 capacity)
{
    return {{u"BatteryInstalled"_s, true},
            {u"CurrentCapacity"_s, capacity},
            {u"DesignCapacity"_s, qint64(8440)},
            {u"Voltage"_s, qint64(12600)},
            {u"CycleCount"_s, qint64(153)}};
}

// Figures that all derive from `base`, so every field tells which model it came from.
QVariantMap averages(qint64 base, const QString &status = u"ok"_s)
{
    // clang-format off
    return {{u"status"_s, status},
            {u"min_capacity"_s, base},          {u"med_capacity"_s, base + 1},       {u"max_capacity"_s, base + 2},
            {u"min_designcap"_s, base + 3},     {u"med_designcap"_s, base + 4},      {u"max_designcap"_s, base + 5},
            {u"min_volts"_s, 11000},            {u"med_volts"_s, 12600},             {u"max_volts"_s, 12900},
            {u"min_cyclecount"_s, base / 100}, {u"med_cyclecount"_s, base / 100 + 1}, {u"max_cyclecount"_s, base / 100 + 2}};
    // clang-format on
}

// A record of the merged model list the application delegate keeps.
QVariant model(qint64 id, const QString &name, const QString &code, const QVariantMap &battData)
{
    return QVariantMap{{u"pb_modelid"_s, id}, {u"name"_s, name}, {u"code"_s, code}, {u"battData"_s, battData}};
}

class ComparisonsPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        monitor.tick();
        page.view();
    }
    // The second name is longer than the menu is wide: a server's names must not widen the page.
    void serveThreeModels()
    {
        models = {model(1, u"MacBook Pro 13\" Late 2013"_s, u"MacBookPro11,1"_s, averages(5000)),
                  model(2, kLongName, u"MacBookAir6,2"_s, averages(7000)),
                  model(3, u"MacBook Pro 13\" (again)"_s, u"MacBookPro11,1"_s, averages(6000))};
    }
    QComboBox *menu() { return page.view()->findChild<QComboBox *>(u"models"_s); }
    QString text(const QString &field) { return page.view()->findChild<CWShadowTextField *>(field)->text(); }
    QStringList texts(const QStringList &fields)
    {
        QStringList result;
        for (const QString &field : fields)
            result << text(field);
        return result;
    }
    QString note() { return page.view()->findChild<QLabel *>(u"note"_s)->text(); }
    // The user picks an item in the closed pop-up with the keyboard.
    void pick(int index)
    {
        menu()->setFocus();
        while (menu()->currentIndex() != index)
            QTest::keyClick(menu(), menu()->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    }

    ScopedDataHome home;
    ScopedFakeBattery battery{snapshot(4321)};
    CWBatteryMonitor monitor;
    QVariantList models;
    CWComparisonsVC page{u"CWComparisonsVC"_s, monitor, [this] { return models; }};
};

} // namespace

TEST_F(ComparisonsPage, TheOwnModelIsBoldTheLaterOfTwoMatchesIsShownAndAPickChangesOnlyThePopulation)
{
    serveThreeModels();
    page.activate();
    ASSERT_EQ(menu()->count(), 3);
    EXPECT_EQ(menu()->itemText(1), kLongName);
    EXPECT_EQ(menu()->itemData(0, Qt::FontRole).value<QFont>(), CWUtil::boldAppFontOfSize(13));
    EXPECT_EQ(menu()->itemData(2, Qt::FontRole).value<QFont>(), CWUtil::boldAppFontOfSize(13));
    EXPECT_FALSE(menu()->itemData(1, Qt::FontRole).isValid());
    EXPECT_EQ(std::pair(page.selectedModelid(), menu()->currentIndex()), std::pair(qint64(3), 2));
    EXPECT_EQ(texts(kPopulationFields),
              QStringList({u"6000 mAh"_s, u"6001 mAh"_s, u"6002 mAh"_s, u"6003 mAh"_s, u"6004 mAh"_s, u"6005 mAh"_s,
                           u"11.0 V"_s, u"12.6 V"_s, u"12.9 V"_s, u"60 cycles"_s, u"61 cycles"_s, u"62 cycles"_s}));
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
    EXPECT_EQ(note(), QString());

    battery->next = snapshot(3999);
    monitor.tick();
    pick(1);
    EXPECT_EQ(std::pair(page.selectedModelid(), text(u"minCapacity"_s)), std::pair(qint64(2), u"7000 mAh"_s));
    EXPECT_EQ(texts(kOwnFields), kOwnTexts) << "own values are read on activation only";

    page.deactivate();
    page.activate();
    EXPECT_EQ(std::pair(page.selectedModelid(), menu()->currentIndex()), std::pair(qint64(3), 2)) << "the own model";
    EXPECT_EQ(text(u"yourCapacity"_s), u"3999 mAh"_s);
    EXPECT_EQ(menu()->count(), 3) << "the menu is rebuilt, not appended to";
}

TEST_F(ComparisonsPage, FiguresAsTextOrFractionsShowAsNumbersAndUnbelievableOrMissingOnesAsUnknown)
{
    // clang-format off
    models = {model(1, u"MacBook Pro"_s, u"MacBookPro11,1"_s,
                    {{u"status"_s, u"ok"_s}, {u"min_capacity"_s, u"4999.7"_s}, {u"med_capacity"_s, u"5100"_s},
                     {u"max_capacity"_s, 2147483647}, {u"min_designcap"_s, -1}, {u"med_designcap"_s, 100},
                     {u"max_designcap"_s, 200000.5}, {u"med_volts"_s, u"12600"_s}, {u"max_volts"_s, 12649.0},
                     {u"min_cyclecount"_s, 0}, {u"med_cyclecount"_s, u"nan"_s}, {u"max_cyclecount"_s, u"lots"_s}})};
    // clang-format on
    page.activate();
    const QString unknown = u"\u2014"_s;
    EXPECT_EQ(texts(kPopulationFields),
              QStringList({u"4999 mAh"_s, u"5100 mAh"_s, unknown, unknown, u"100 mAh"_s, unknown, unknown, u"12.6 V"_s,
                           u"12.6 V"_s, u"0 cycles"_s, unknown, unknown}));
}

TEST_F(ComparisonsPage, TooFewMachinesEmptyThePopulationFieldsAndSayWhy)
{
    models = {model(1, u"MacBook Pro"_s, u"MacBookPro11,1"_s, averages(5000, u"toosmall"_s)),
              model(2, u"MacBook Air"_s, u"MacBookAir6,2"_s, averages(7000))};
    page.activate();
    EXPECT_EQ(texts(kPopulationFields), QStringList(12, QString()));
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
    EXPECT_FALSE(note().isEmpty()) << "the user is told why the figures are missing";
    pick(1);
    EXPECT_EQ(std::pair(text(u"minCapacity"_s), note()), std::pair(u"7000 mAh"_s, QString()));
}

TEST_F(ComparisonsPage, WithoutTheOwnModelOrAnyModelNothingIsSelected)
{
    models = {model(2, u"MacBook Air"_s, u"MacBookAir6,2"_s, averages(7000))};
    ConsoleCapture console;
    page.activate();
    EXPECT_EQ(std::pair(page.selectedModelid(), menu()->currentIndex()), std::pair(qint64(0), -1));
    EXPECT_EQ(note(), QString()) << "the list is there to choose from";
    pick(0);
    EXPECT_EQ(text(u"medCapacity"_s), u"7001 mAh"_s);
    const QStringList shown = texts(kPopulationFields);

    models.clear(); // a failed download leaves no model list
    page.activate();
    EXPECT_EQ(console.lines(), QStringList({kFailed, kFailed}));
    EXPECT_EQ(menu()->count(), 0);
    EXPECT_FALSE(menu()->isEnabled());
    EXPECT_EQ(texts(kPopulationFields), shown);
    EXPECT_EQ(note(), u"No comparison data from the statistics server yet."_s);
    EXPECT_EQ(texts(kOwnFields), kOwnTexts);
}

TEST_F(ComparisonsPage, FiguresFormAGridThatFitsTheSmallestWindow)
{
    serveThreeModels();
    CWDisplayController controller(monitor, &CWLog::sharedLog, [this] { return models; });
    controller.showMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.mainWindow()));
    controller.mainWindow()->resize(controller.mainWindow()->minimumSize());
    controller.pageSelector()->setSelectedIndex(CWDisplayController::Comparisons);
    for (int level = 0; level < 3; ++level) // each level of nested layouts follows in a turn of its own
        QCoreApplication::processEvents();
    // The menu resizes itself on a short timer of its own; the layout pass that follows may still be queued.
    QCoreApplication::sendPostedEvents();

    QWidget *view = controller.comparisonsVC()->view();
    const auto frame = [view](const QString &name) {
        const QWidget *widget = view->findChild<QWidget *>(name);
        return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
    };
    for (const QString &column : {u"your"_s, u"min"_s, u"med"_s, u"max"_s}) {
        QRect above = frame(column + u"Caption"_s);
        for (const QString &row : {u"Capacity"_s, u"DesignCapacity"_s, u"Voltage"_s, u"CycleCount"_s}) {
            const QRect field = frame(column + row);
            EXPECT_TRUE(field.right() == above.right() && field.top() > above.bottom() && view->rect().contains(field)
                        && !view->findChild<CWShadowTextField *>(column + row)->text().isEmpty())
                << qPrintable(column + row) << ": under its caption, inside the page, not empty";
            above = field;
        }
    }
    EXPECT_LT(frame(u"models"_s).bottom(), frame(u"yourCaption"_s).top());
    EXPECT_TRUE(view->rect().contains(frame(u"models"_s)));
}
