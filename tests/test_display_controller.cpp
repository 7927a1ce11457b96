#include "CWBatteryMonitor.h"
#include "CWDashboardVC.h"
#include "CWDisplayController.h"
#include "CWGraphVC.h"
#include "CWHolderVC.h"
#include "CWLog.h"
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "TestSupport.h"

#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class DisplayControllerTest : public ::testing::Test {
protected:
    void SetUp() override { controller.showMainWindow(); }

    QList<QWidget *> pagesOnScreen() const
    {
        return controller.mainContentView()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    }
    void select(qint64 page) { controller.pageSelector()->setSelectedIndex(page); }

    ScopedDataHome home;
    ScopedFakeBattery battery{QVariantMap{{"BatteryInstalled", true}}};
    CWDisplayController controller{*CWBatteryMonitor::sharedMonitor(), &CWLog::sharedLog, [] { return QVariantList(); }};
};

} // namespace

TEST_F(DisplayControllerTest, ShowingLoadsTheWindowOnceWithFivePageRows)
{
    QMainWindow *window = controller.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Cellwise");

    const QVariantList rows = controller.pageSelector()->rowSpecs();
    QStringList names;
    for (const QVariant &row : rows)
        names << row.toMap().value("name").toString();
    EXPECT_EQ(names, (QStringList{"Monitor", "Graph", "Comparisons", "Battery Data", "Event Log"}));
    const auto graphIcon = rows.at(1).toMap().value("image").value<std::shared_ptr<CWPDFAtlasTileImage>>();
    ASSERT_TRUE(graphIcon);
    EXPECT_EQ(graphIcon->tileX(), 2u);
    EXPECT_EQ(graphIcon->tileY(), 3u);
    EXPECT_TRUE(controller.pdfAtlas()->hasPage());

    select(2);
    controller.showMainWindow();
    EXPECT_EQ(controller.mainWindow(), window);
    EXPECT_EQ(controller.currentPage(), 2) << "showing again keeps the page";
}

TEST_F(DisplayControllerTest, SwitchingPagesKeepsControllersAndShowsOneView)
{
    select(1);
    CWGraphVC *graph = controller.graphVC();
    EXPECT_EQ(controller.currentVC(), graph);
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{graph->view()});

    select(0);
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{controller.dashboardVC()->view()});
    EXPECT_EQ(graph->view()->parent(), nullptr);

    select(1);
    EXPECT_EQ(controller.graphVC(), graph) << "created once";
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{graph->view()});
    EXPECT_EQ(controller.dashboardVC()->view()->parent(), nullptr);
}

TEST_F(DisplayControllerTest, PageFillsTheContentAreaAsTheWindowResizes)
{
    select(3);
    controller.mainWindow()->resize(1200, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.currentVC()->view()->geometry(), controller.mainContentView()->rect());
}

TEST_F(DisplayControllerTest, UnknownPageEmptiesTheContentAreaUntilAValidOne)
{
    select(4);
    select(7);
    EXPECT_TRUE(pagesOnScreen().isEmpty());
    EXPECT_EQ(controller.currentVC(), nullptr);
    EXPECT_EQ(controller.currentPage(), 7);

    select(3);
    EXPECT_EQ(controller.currentPage(), 3);
    EXPECT_EQ(pagesOnScreen().size(), 1);
}

TEST_F(DisplayControllerTest, ReselectingTheShownPageChangesNothing)
{
    select(1);
    QWidget *view = controller.currentVC()->view();
    select(1);
    EXPECT_EQ(pagesOnScreen(), QList<QWidget *>{view});
    EXPECT_TRUE(view->isVisible());
}

TEST_F(DisplayControllerTest, ArrowKeysInThePageListSwitchPages)
{
    select(0);
    QTest::keyClick(controller.pageSelector(), Qt::Key_Down);
    EXPECT_EQ(controller.currentPage(), 1);
    EXPECT_EQ(controller.currentVC(), controller.graphVC());
}
