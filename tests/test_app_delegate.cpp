// The application's launch, consent, server conversation and end, driven through its delegate.
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QFile>
#include <QMainWindow>
#include <QSignalSpy>

namespace {

QVariantMap batteryWithCharge(qint64 charge)
{
    return {{u"BatteryInstalled"_s, true},
            {u"ExternalConnected"_s, true},
            {u"CurrentCapacity"_s, charge},
            {u"MaxCapacity"_s, qint64(5000)},
            {u"Voltage"_s, qint64(12400)}};
}

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override { delegate.setDisplayController(&displayController); }
    void TearDown() override
    {
        EXPECT_TRUE(serverChainEnds());
        delegate.applicationWillTerminate();
    }
    // One run of the application, up to the end of its server chain; a new charge makes its first
    // tick a sample.
    void run(qint64 charge)
    {
        battery->next = batteryWithCharge(charge);
        CWLog::resetSharedLog();
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(serverChainEnds());
        delegate.applicationWillTerminate();
    }
    // The names of the statistics-server exchanges started since the test began.
    QStringList exchanges() const
    {
        QStringList names;
        const auto &conns = LXCWServer::sharedServer()->conns();
        for (auto connection = conns.begin() + qsizetype(exchangesBefore); connection != conns.end(); ++connection)
            names << (*connection)->connectionName();
        return names;
    }

    ScopedDefaults appDefaults;
    FakeUser user;
    ScopedDataHome home;
    ScopedFakeBattery battery{batteryWithCharge(4000)};
    CWAppDelegate delegate;
    CWDisplayController displayController{*CWBatteryMonitor::sharedMonitor(), &CWLog::sharedLog,
                                          [this] { return delegate.pbdb(); }};
    const size_t exchangesBefore = LXCWServer::sharedServer()->conns().size();
};

} // namespace

TEST_F(AppDelegateTest, AMachineWithoutBatteryIsToldAndQuitsWithoutALog)
{
    battery->next.reset();
    QSignalSpy terminate(&delegate, &CWAppDelegate::terminateRequested);
    delegate.applicationDidFinishLaunching();
    delegate.applicationWillTerminate();

    ASSERT_EQ(user.alerts.size(), 1);
    EXPECT_EQ(std::pair(user.alerts[0].title, user.alerts[0].defaultButton), std::pair(u"No Battery"_s, u"Quit"_s));
    EXPECT_TRUE(user.alerts[0].message.startsWith(u"Cellwise was unable to locate a battery in your computer. "_s));
    EXPECT_EQ(terminate.count(), 1);
    EXPECT_FALSE(CWBatteryMonitor::sharedMonitor()->isUpdating());
    EXPECT_EQ(displayController.mainWindow(), nullptr);
    EXPECT_FALSE(QFile::exists(home.supportPath() + u"/battLog3.sqlite"_s));
}

TEST_F(AppDelegateTest, ALaunchMonitorsShowsTheWindowThenAsksThenSelectsMonitorAndTheEndStopsMonitoring)
{
    bool windowShownWhenAsked = false;
    qint64 pageWhenAsked = 0;
    user.onAlert = [&] {
        const QMainWindow *window = displayController.mainWindow();
        windowShownWhenAsked = window && window->isVisible();
        pageWhenAsked = displayController.currentPage();
    };
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(CWBatteryMonitor::sharedMonitor()->isUpdating());
    ASSERT_EQ(user.alerts.size(), 1);
    const AlertPanel::Alert &asked = user.alerts[0];
    EXPECT_EQ(QStringList({asked.title, asked.defaultButton, asked.alternateButton, asked.otherButton}),
              QStringList({u"Share your battery data?"_s, u"Allow"_s, u"Disallow"_s, u"Decide Later"_s}));
    EXPECT_TRUE(windowShownWhenAsked);
    EXPECT_EQ(pageWhenAsked, -1);
    EXPECT_EQ(displayController.currentPage(), CWDisplayController::Monitor);

    delegate.applicationWillTerminate();
    EXPECT_FALSE(CWBatteryMonitor::sharedMonitor()->isUpdating());
}

TEST_F(AppDelegateTest, TheConsentIsAskedUntilAnsweredAndOnlyAllowSends)
{
    const struct {
        AlertPanel::Response answer;
        bool asked, send; // the stored answers afterwards
    } rows[] = {
        {AlertPanel::Response::Other, false, false}, // Decide Later
        {AlertPanel::Response::Alternate, true, false},
        {AlertPanel::Response::Default, true, false}, // not asked again
    };
    UserDefaults &defaults = UserDefaults::standard();
    for (qint64 charge = 4001; const auto &row : rows) {
        user.answer = row.answer;
        run(charge++);
        EXPECT_EQ(std::pair(defaults.boolForKey(u"CWAskedAboutSendBattDataToServer"_s),
                            defaults.boolForKey(u"CWSendBattDataToServer"_s)),
                  std::pair(row.asked, row.send))
            << int(row.answer);
    }
    EXPECT_EQ(user.alerts.size(), 2);
    defaults.clearAll();
    CWAppDelegate::registerDefaults();
    run(4100);
    EXPECT_TRUE(defaults.boolForKey(u"CWSendBattDataToServer"_s)) << "Allow";
}

TEST_F(AppDelegateTest, BecomingActiveReopensTheWindowOnlyWhenWanted)
{
    delegate.applicationDidFinishLaunching();
    QMainWindow *window = displayController.mainWindow();
    window->close();
    UserDefaults::standard().setBool(u"CWShowWindowOnActivate"_s, false);
    delegate.applicationWillBecomeActive();
    EXPECT_FALSE(window->isVisible());
    UserDefaults::standard().setBool(u"CWShowWindowOnActivate"_s, true);
    delegate.applicationWillBecomeActive();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, EachServerReplyStartsTheNextRequestAndAFailedRegistrationIsTriedAgainNextLaunch)
{
    UserDefaults::standard().setBool(u"CWAskedAboutSendBattDataToServer"_s, true); // and no uploads
    // No server answers: every exchange fails, and each failure still starts the next.
    run(4200);
    EXPECT_EQ(exchanges(), QStringList({u"registermachine"_s, u"getbattdata"_s, u"getpbmodels"_s}));
    QFile machineIDFile(home.supportPath() + u"/modelid"_s);
    ASSERT_TRUE(machineIDFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(machineIDFile.readAll(), "-1");
    EXPECT_TRUE(delegate.pbdb().isEmpty());
    run(4201);
    EXPECT_EQ(exchanges().mid(3, 1), QStringList{u"registermachine"_s});

    CWBatteryMonitor::sharedMonitor()->setMachineID(42);
    run(4202);
    EXPECT_EQ(exchanges().mid(6), QStringList({u"getbattdata"_s, u"getpbmodels"_s})) << "a known machine";
}

TEST_F(AppDelegateTest, WithConsentTheFirstSampleOfEachRunIsUploadedAndNoOther)
{
    UserDefaults::standard().setBool(u"CWAskedAboutSendBattDataToServer"_s, true);
    UserDefaults::standard().setBool(u"CWSendBattDataToServer"_s, true);
    battery->next = batteryWithCharge(4301);
    CWLog::resetSharedLog();
    delegate.applicationDidFinishLaunching();
    for (qint64 charge : {4302, 4303}) {
        battery->next = batteryWithCharge(charge);
        CWBatteryMonitor::sharedMonitor()->tick();
    }
    ASSERT_TRUE(serverChainEnds());
    delegate.applicationWillTerminate();
    EXPECT_EQ(exchanges().count(u"sendbattdata"_s), 1) << "three samples logged, one uploaded";
    run(4304);
    EXPECT_EQ(exchanges().count(u"sendbattdata"_s), 2) << "the next run uploads its own";
    UserDefaults::standard().setBool(u"CWSendBattDataToServer"_s, false);
    run(4305);
    EXPECT_EQ(exchanges().count(u"sendbattdata"_s), 2) << "nothing without consent";
}

TEST_F(AppDelegateTest, TheModelListHoldsTheModelsWithAveragesWithOneLineForEachWithout)
{
    delegate.gotBattData(
        QVariantList{QVariantMap{{u"pb_modelid"_s, u"7"_s}, {u"status"_s, u"ok"_s}, {u"min_capacity"_s, 4000}},
                     QVariantMap{{u"pb_modelid"_s, qint64(9)}, {u"status"_s, u"toosmall"_s}},
                     QVariantMap{{u"pb_modelid"_s, qint64(7)}, {u"min_capacity"_s, 1}}});
    ConsoleCapture console;
    delegate.gotPBModels(QVariantList{QVariantMap{{u"pb_modelid"_s, qint64(9)}, {u"name"_s, u"Nine"_s}},
                                      QVariantMap{{u"pb_modelid"_s, qint64(8)}, {u"name"_s, u"Eight"_s}},
                                      QVariantMap{{u"pb_modelid"_s, qint64(7)}, {u"name"_s, u"Seven"_s}}});
    EXPECT_EQ(console.lines(), QStringList{u"Model ID 8 not found."_s});
    ASSERT_EQ(delegate.pbdb().size(), 2);
    EXPECT_EQ(delegate.pbdb().at(0).toMap().value(u"name"_s), u"Nine"_s);
    EXPECT_EQ(delegate.pbdb().at(1).toMap().value(u"battData"_s).toMap().value(u"min_capacity"_s), 4000);
    delegate.gotBattData(QVariant());
    delegate.gotPBModels(QVariant());
    EXPECT_TRUE(delegate.pbdb().isEmpty()) << "a failed download leaves an empty list";
}

TEST_F(AppDelegateTest, AHugeModelListIsCutWithAFewLinesForTheModelsWithoutAverages)
{
    QVariantList averages, models;
    for (qint64 id = 1; id <= 15; ++id)
        models << QVariantMap{{u"pb_modelid"_s, -id}};
    for (qint64 id = 1; id <= 30000; ++id) {
        averages << QVariantMap{{u"pb_modelid"_s, id}};
        models << QVariantMap{{u"pb_modelid"_s, id}};
    }
    delegate.gotBattData(averages);
    ConsoleCapture console;
    delegate.gotPBModels(models);
    const QStringList lines = console.lines();
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines.at(9), u"Model ID -10 not found."_s);
    EXPECT_EQ(lines.at(10), u"The statistics server lists more than 10000 models; the rest are left out."_s);
    EXPECT_EQ(lines.at(11), u"5 more model IDs not found."_s);
    EXPECT_EQ(delegate.pbdb().size(), 10000);
}
