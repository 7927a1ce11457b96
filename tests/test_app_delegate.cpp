#include "AlertPanel.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QFile>
#include <QMainWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QVariantMap kBatteryIn = {{"BatteryInstalled", true}, {"ExternalConnected", true}, {"CurrentCapacity", qint64(4000)},
                                {"MaxCapacity", qint64(5000)}, {"Voltage", qint64(12400)}};

// Answers every alert with a fixed button and remembers what it was asked, and in which state.
struct AlertRecorder {
    AlertPanel::Response answer = AlertPanel::Response::Default;
    QList<AlertPanel::Alert> alerts;
    std::function<void()> onAlert;

    AlertRecorder()
    {
        AlertPanel::setResponder([this](const AlertPanel::Alert &alert) {
            alerts << alert;
            if (onAlert)
                onAlert();
            return answer;
        });
    }
    ~AlertRecorder() { AlertPanel::setResponder({}); }
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::standard().clearAll();
        CWAppDelegate::registerDefaults();
        delegate.setDisplayController(&displayController);
    }
    void TearDown() override
    {
        delegate.applicationWillTerminate();
        UserDefaults::standard().clearAll();
    }
    QString logFile() const { return home.supportPath() + "/battLog3.sqlite"; }

    ScopedDataHome home;
    AlertRecorder alerts;
    CWAppDelegate delegate;
    CWDisplayController displayController{*CWBatteryMonitor::sharedMonitor(), &CWLog::sharedLog,
                                          [this] { return delegate.pbdb(); }};
};

} // namespace

TEST_F(AppDelegateTest, MachineWithoutBatteryIsToldAndQuitsWithoutALog)
{
    ScopedFakeBattery battery(std::nullopt);
    QSignalSpy terminate(&delegate, &CWAppDelegate::terminateRequested);

    delegate.applicationDidFinishLaunching();
    delegate.applicationWillTerminate();

    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_EQ(alerts.alerts.first().title, "No Battery");
    EXPECT_EQ(alerts.alerts.first().message,
              "Cellwise was unable to locate a battery in your computer. Cellwise needs a laptop battery, but it "
              "can run on its simulated battery with --simulate-battery.");
    EXPECT_EQ(alerts.alerts.first().defaultButton, "Quit");
    EXPECT_EQ(terminate.count(), 1);
    EXPECT_FALSE(CWBatteryMonitor::sharedMonitor()->isUpdating());
    EXPECT_EQ(displayController.mainWindow(), nullptr);
    EXPECT_FALSE(QFile::exists(logFile()));
}

TEST_F(AppDelegateTest, LaunchStartsMonitoringShowsTheWindowThenAsksThenSelectsMonitor)
{
    ScopedFakeBattery battery(kBatteryIn);
    bool windowShownWhenAsked = false;
    qint64 pageWhenAsked = 0;
    alerts.onAlert = [&] {
        const QMainWindow *window = displayController.mainWindow();
        windowShownWhenAsked = window && window->isVisible();
        pageWhenAsked = displayController.currentPage();
    };

    delegate.applicationDidFinishLaunching();

    EXPECT_TRUE(CWBatteryMonitor::sharedMonitor()->isUpdating());
    EXPECT_TRUE(QFile::exists(logFile()));
    ASSERT_EQ(alerts.alerts.size(), 1);
    const AlertPanel::Alert &consent = alerts.alerts.first();
    EXPECT_EQ(consent.title, "Share your battery data?");
    EXPECT_EQ(consent.defaultButton, "Allow");
    EXPECT_EQ(consent.alternateButton, "Disallow");
    EXPECT_EQ(consent.otherButton, "Decide Later");
    EXPECT_TRUE(windowShownWhenAsked);
    EXPECT_EQ(pageWhenAsked, -1);
    EXPECT_EQ(displayController.currentPage(), CWDisplayController::Monitor);
}

TEST_F(AppDelegateTest, ConsentAnswersSetBothKeysExceptDecideLater)
{
    ScopedFakeBattery battery(kBatteryIn);
    UserDefaults &defaults = UserDefaults::standard();

    alerts.answer = AlertPanel::Response::Other;
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(defaults.objectForKey("CWAskedAboutSendBattDataToServer").toBool());
    delegate.applicationWillTerminate();

    alerts.answer = AlertPanel::Response::Alternate;
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(alerts.alerts.size(), 2) << "asked again after Decide Later";
    EXPECT_TRUE(defaults.boolForKey("CWAskedAboutSendBattDataToServer"));
    EXPECT_FALSE(defaults.boolForKey("CWSendBattDataToServer"));
    delegate.applicationWillTerminate();

    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(alerts.alerts.size(), 2) << "never asked once answered";
}

TEST_F(AppDelegateTest, AllowSendsData)
{
    ScopedFakeBattery battery(kBatteryIn);
    alerts.answer = AlertPanel::Response::Default;
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(UserDefaults::standard().boolForKey("CWAskedAboutSendBattDataToServer"));
    EXPECT_TRUE(UserDefaults::standard().boolForKey("CWSendBattDataToServer"));
}

TEST_F(AppDelegateTest, BecomingActiveReopensTheWindowOnlyWhenWanted)
{
    ScopedFakeBattery battery(kBatteryIn);
    delegate.applicationDidFinishLaunching();
    QMainWindow *window = displayController.mainWindow();

    window->close();
    UserDefaults::standard().setBool("CWShowWindowOnActivate", false);
    delegate.applicationWillBecomeActive();
    EXPECT_FALSE(window->isVisible());

    UserDefaults::standard().setBool("CWShowWindowOnActivate", true);
    delegate.applicationWillBecomeActive();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, TerminationWritesTheStopMarkerAndClosesTheLog)
{
    ScopedFakeBattery battery(kBatteryIn);
    delegate.applicationDidFinishLaunching();
    delegate.applicationWillTerminate();

    EXPECT_FALSE(CWBatteryMonitor::sharedMonitor()->isUpdating());
    std::unique_ptr<CWLog> log = CWLog::initWithFile(logFile());
    const CWLogResult events = log->eventLogEntriesAboveIndex(0);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->value("eventtype").first(), "1");
    EXPECT_EQ(events->value("eventtype").last(), "2");
}

TEST(AppDelegateServerReplies, ModelsWithoutAveragesAreLeftOutWithOneLine)
{
    CWAppDelegate delegate;
    delegate.gotBattData(QVariantList{QVariantMap{{"pb_modelid", "7"}, {"status", "ok"}, {"min_capacity", 4000}},
                                      QVariantMap{{"pb_modelid", qint64(9)}, {"status", "toosmall"}}});
    ConsoleCapture console;
    delegate.gotPBModels(QVariantList{QVariantMap{{"pb_modelid", qint64(9)}, {"name", "Nine"}, {"code", "M9"}},
                                      QVariantMap{{"pb_modelid", qint64(8)}, {"name", "Eight"}, {"code", "M8"}},
                                      QVariantMap{{"pb_modelid", qint64(7)}, {"name", "Seven"}, {"code", "M7"}}});
    EXPECT_EQ(console.lines(), QStringList{"Model ID 8 not found."});
    ASSERT_EQ(delegate.pbdb().size(), 2);
    EXPECT_EQ(delegate.pbdb().at(0).toMap().value("name"), "Nine");
    EXPECT_EQ(delegate.pbdb().at(1).toMap().value("battData").toMap().value("min_capacity"), 4000);

    delegate.gotBattData(QVariant());
    delegate.gotPBModels(QVariant());
    EXPECT_TRUE(delegate.pbdb().isEmpty()) << "a failed download leaves an empty list";
}
