// The main window's controller: the page list, one page on screen at a time, and the page protocol
// (the page leaving the screen is deactivated, the one arriving activated).
#include "CWBattInfoVC.h"
#include "CWBatteryMonitor.h"
#include "CWDashboardVC.h"
#include "CWDisplayController.h"
#include "CWEventLogVC.h"
#include "CWGraphVC.h"
#include "CWHolderVC.h"
#include "CWPDFAtlasTileImage.h"
#include "TestSupport.h"

#include <QMainWindow>
#include <QPlainTextEdit>

namespace {

class DisplayControllerTest : public ::testing::Test {
protected:
    void SetUp() override { controller.showMainWindow(); }

    QList<QWidget *> pagesOnScreen() const
    {
        return controller.mainContentView()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    }
    void select(qint64 page) { controller.pageSelector()->setSelectedIndex(page); }
    // A tick of the monitor with a new reading, which the log stores.
    void tick(qint64 charge)
    {
        battery->next = QVariantMap{{u"BatteryInstalled"_s, true},
                                    {u"CurrentCapacity"_s, charge},
                                    {u"Temperature"_s, qint64(3000)}};
        monitor.tick();
    }

    ScopedDefaults appDefaults;
    ScopedDataHome home;
    ScopedFakeBattery battery{QVariantMap{{u"BatteryInstalled"_s, true}}};
    CWBatteryMonitor monitor;
    CWDisplayController controller{monitor, &CWLog::sharedLog, [] { return QVariantList(); }};
};

} // namespace

TEST_F(DisplayControllerTest, ShowingLoadsTheWindowOnceWithFivePageRows)
{
    QMainWindow *window = controller.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    QStringList names;
    QList<std::pair<unsigned, unsigned>> icons; // each page its own tile of the icon sheet
    for (const QVariant &row : controller.pageSelector()->rowSpecs()) {
        names << row.toMap().value(u"name"_s).toString();
        const auto icon = row.toMap().value(u"image"_s).value<std::shared_ptr<CWPDFAtlasTileImage>>();
        icons << std::pair(icon ? icon->tileX() : 99u, icon ? icon->tileY() : 99u);
    }
    EXPECT_EQ(names, QStringList({u"Monitor"_s, u"Graph"_s, u"Comparisons"_s, u"Battery Data"_s, u"Event Log"_s}));
    EXPECT_EQ(icons, (QList<std::pair<unsigned, unsigned>>{{1, 3}, {2, 3}, {4, 3}, {0, 3}, {3, 3}}));

    select(CWDisplayController::Comparisons);
    controller.showMainWindow();
    EXPECT_EQ(controller.mainWindow(), window);
    EXPECT_EQ(controller.currentPage(), CWDisplayController::Comparisons) << "showing again keeps the page";
}

TEST_F(DisplayControllerTest, OnePageFillsTheContentAreaAndItsControllerIsKept)
{
    select(CWDisplayController::Graph);
    CWGraphVC *graph = controller.graphVC();
    EXPECT_EQ(controller.currentVC(), graph);
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{graph->view()});
    controller.mainWindow()->resize(1200, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(graph->view()->geometry(), controller.mainContentView()->rect());

    select(CWDisplayController::Monitor);
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{controller.dashboardVC()->view()});
    EXPECT_EQ(graph->view()->parent(), nullptr);
    select(CWDisplayController::Graph);
    EXPECT_EQ(controller.graphVC(), graph) << "created once";
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{graph->view()});
    select(CWDisplayController::Graph);
    EXPECT_TRUE(graph->view()->isVisible()) << "reselecting the shown page changes nothing";

    select(7);
    EXPECT_TRUE(pagesOnScreen().isEmpty()) << "an unknown page empties the content area";
    EXPECT_EQ(controller.currentVC(), nullptr);
    select(CWDisplayController::BatteryData);
    EXPECT_EQ(pagesOnScreen().size(), 1);
}

TEST_F(DisplayControllerTest, OnlyThePageOnScreenIsActive)
{
    const auto rowsShown = [this] { return controller.eventLogVC()->eventsToShowAC()->rowCount(); };
    select(CWDisplayController::EventLog);
    tick(3001);
    const int shown = rowsShown();
    tick(3002);
    EXPECT_EQ(rowsShown(), shown + 1) << "the page on screen follows the monitor";

    select(CWDisplayController::BatteryData);
    EXPECT_TRUE(controller.battInfoVC()->textView()->toPlainText().contains(u"CurrentCapacity = 3002;"_s))
        << "the arriving page was activated";
    tick(3003);
    EXPECT_EQ(rowsShown(), shown + 1) << "the page that left was deactivated";

    select(CWDisplayController::EventLog);
    tick(3004);
    EXPECT_EQ(rowsShown(), shown + 3) << "and is active again when it returns";
}

TEST_F(DisplayControllerTest, SavesThePageOnShowAsAPicture)
{
    QTemporaryDir dir;
    select(3);
    const QString png = dir.filePath(u"page.png"_s);
    ASSERT_TRUE(controller.savePageAsImage(png));
    const QWidget *page = controller.mainContentView();
    EXPECT_EQ(QImage(png).size(), page->size() * page->devicePixelRatio());

    FakeUser user;
    ConsoleCapture console;
    EXPECT_FALSE(controller.savePageAsImage(dir.filePath(u"missing/page.pdf"_s)));
    ASSERT_EQ(user.alerts.size(), 1);
    EXPECT_TRUE(user.alerts[0].message.startsWith(u"Cannot write "_s)) << user.alerts[0].message.toStdString();
}
