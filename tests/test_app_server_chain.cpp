// The application's conversation with the statistics server at launch: registration, averages and
// models, each started by the previous reply, the merged model list, and the one-sample upload.
#include "AlertPanel.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "HttpTestServer.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QVariantMap kBattery = {{"BatteryInstalled", true}, {"ExternalConnected", true},
                              {"CurrentCapacity", qint64(4000)}, {"MaxCapacity", qint64(5000)},
                              {"DesignCapacity", qint64(5500)}, {"CycleCount", qint64(120)},
                              {"Voltage", qint64(12400)}, {"InstantAmperage", qint64(800)}};

const char kAverages[] = R"(<?xml version="1.0"?><plist version="1.0"><array>
<dict><key>pb_modelid</key><integer>3</integer><key>status</key><string>ok</string>
<key>min_capacity</key><integer>4100</integer><key>med_capacity</key><integer>5000</integer></dict>
<dict><key>pb_modelid</key><integer>4</integer><key>status</key><string>toosmall</string></dict>
</array></plist>)";

const char kModels[] = R"(<?xml version="1.0"?><plist version="1.0"><array>
<dict><key>pb_modelid</key><integer>3</integer><key>name</key><string>MacBook Pro 13" Late 2013</string>
<key>code</key><string>MacBookPro11,1</string></dict>
<dict><key>pb_modelid</key><integer>4</integer><key>name</key><string>MacBookAir6,2</string>
<key>code</key><string>MacBookAir6,2</string></dict>
<dict><key>pb_modelid</key><integer>5</integer><key>name</key><string>MacBook8,1</string>
<key>code</key><string>MacBook8,1</string></dict>
</array></plist>)";

class AppServerChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousServer = qgetenv("CELLWISE_SERVER");
        qputenv("CELLWISE_SERVER", server.url().toUtf8());
        UserDefaults::standard().clearAll();
        CWAppDelegate::registerDefaults();
        UserDefaults::standard().setBool("CWAskedAboutSendBattDataToServer", true);
        AlertPanel::setResponder([](const AlertPanel::Alert &) { return AlertPanel::Response::Default; });
        server.answer("/cellw_register_machine.php", {200, "57\n"});
        server.answer("/cellw_averages_2.php", {200, kAverages});
        server.answer("/cellw_pbmodels.php", {200, kModels});
        server.answer("/cellw_logbatt.php", {200, "ok\n"});
        server.answer("/versioncheck.php", {200, "{ success = YES; alertNew = NO; }"});
    }
    void TearDown() override
    {
        waitForTheChain();
        delegate.applicationWillTerminate();
        AlertPanel::setResponder({});
        UserDefaults::standard().clearAll();
        qputenv("CELLWISE_SERVER", previousServer);
    }

    void waitForTheChain() { ASSERT_TRUE(serverChainEnds()); }

    // The statistics requests in the order they arrived (the version check and uploads left out).
    std::vector<std::string> chainPaths() const
    {
        std::vector<std::string> paths = server.paths();
        std::erase_if(paths, [](const std::string &path) {
            return path == "/versioncheck.php" || path == "/cellw_logbatt.php";
        });
        return paths;
    }

    std::vector<HttpTestServer::Request> uploads() const
    {
        std::vector<HttpTestServer::Request> requests = server.requests();
        std::erase_if(requests, [](const HttpTestServer::Request &request) { return request.path != "/cellw_logbatt.php"; });
        return requests;
    }

    void setCharge(qint64 charge)
    {
        QVariantMap next = kBattery;
        next.insert("CurrentCapacity", charge);
        battery->next = next;
    }

    QString machineIDFile() const
    {
        QFile file(home.supportPath() + "/modelid");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    ScopedDataHome home;
    ScopedFakeBattery battery{kBattery};
    HttpTestServer server;
    CWAppDelegate delegate;
    QByteArray previousServer;
};

} // namespace

TEST_F(AppServerChainTest, AFirstLaunchRegistersThenFetchesTheAveragesThenTheModels)
{
    ConsoleCapture console;
    delegate.applicationDidFinishLaunching();
    waitForTheChain();

    EXPECT_EQ(chainPaths(), (std::vector<std::string>{"/cellw_register_machine.php", "/cellw_averages_2.php",
                                                      "/cellw_pbmodels.php"}));
    EXPECT_EQ(server.requests().front().path, "/versioncheck.php") << "the version check starts first";
    EXPECT_EQ(CWBatteryMonitor::sharedMonitor()->machineID(), 57);
    EXPECT_TRUE(console.contains("Got new machine ID 57"));
    EXPECT_TRUE(console.contains("Model ID 5 not found."));

    const QVariantList &pbdb = delegate.pbdb();
    ASSERT_EQ(pbdb.size(), 2);
    const QVariantMap own = pbdb.at(0).toMap();
    EXPECT_EQ(own.value("code"), "MacBookPro11,1");
    EXPECT_EQ(own.value("battData").toMap().value("med_capacity"), qint64(5000));
    EXPECT_EQ(pbdb.at(1).toMap().value("battData").toMap().value("status"), "toosmall");
}

TEST_F(AppServerChainTest, ALaterLaunchGoesStraightToTheAverages)
{
    CWBatteryMonitor::sharedMonitor()->setMachineID(42);
    delegate.applicationDidFinishLaunching();
    waitForTheChain();

    EXPECT_EQ(chainPaths(), (std::vector<std::string>{"/cellw_averages_2.php", "/cellw_pbmodels.php"}));
    EXPECT_EQ(CWBatteryMonitor::sharedMonitor()->machineID(), 42);
    EXPECT_EQ(delegate.pbdb().size(), 2);
}

TEST_F(AppServerChainTest, AFailedRegistrationStoresMinusOneGoesOnAndRegistersAgainNextTime)
{
    server.answer("/cellw_register_machine.php", {200, "0"});
    ConsoleCapture console;
    delegate.applicationDidFinishLaunching();
    waitForTheChain();

    EXPECT_EQ(machineIDFile(), "-1");
    EXPECT_TRUE(console.contains("Got new machine ID -1"));
    EXPECT_EQ(chainPaths(), (std::vector<std::string>{"/cellw_register_machine.php", "/cellw_averages_2.php",
                                                      "/cellw_pbmodels.php"}));

    delegate.applicationWillTerminate();
    CWLog::resetSharedLog();
    server.answer("/cellw_register_machine.php", {200, "58"});
    delegate.applicationDidFinishLaunching();
    waitForTheChain();
    EXPECT_EQ(chainPaths().at(3), "/cellw_register_machine.php");
    EXPECT_EQ(CWBatteryMonitor::sharedMonitor()->machineID(), 58);
}

TEST_F(AppServerChainTest, AnUnreachableServerLeavesTheModelListEmpty)
{
    qputenv("CELLWISE_SERVER", refusingServerURL().toUtf8());
    delegate.applicationDidFinishLaunching();
    waitForTheChain();

    EXPECT_EQ(machineIDFile(), "-1");
    EXPECT_TRUE(delegate.pbdb().isEmpty());
}

TEST_F(AppServerChainTest, WithConsentTheFirstSampleOfARunIsUploadedWithTheMachineID)
{
    UserDefaults::standard().setBool("CWSendBattDataToServer", true);
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    monitor->setMachineID(42);
    // The monitor outlives the tests: a reading of its own makes the launch's first tick a sample.
    setCharge(3901);
    delegate.applicationDidFinishLaunching();
    for (qint64 charge : {3902, 3903}) {
        setCharge(charge);
        monitor->tick();
    }
    waitForTheChain();

    ASSERT_EQ(uploads().size(), 1u) << "three samples logged, one uploaded";
    EXPECT_EQ(uploads().front().header("CELLW_MACHINECODE"), "42");
    EXPECT_EQ(uploads().front().header("CELLW_CURRENT"), "3901");
    EXPECT_EQ(uploads().front().header("CELLW_CYCLECOUNT"), "120");

    // The next run uploads its own first sample.
    delegate.applicationWillTerminate();
    CWLog::resetSharedLog();
    setCharge(3904);
    delegate.applicationDidFinishLaunching();
    waitForTheChain();
    ASSERT_EQ(uploads().size(), 2u);
    EXPECT_EQ(uploads().back().header("CELLW_CURRENT"), "3904");
}

TEST_F(AppServerChainTest, WithoutConsentNothingIsUploaded)
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    monitor->setMachineID(42);
    setCharge(3911);
    delegate.applicationDidFinishLaunching();
    setCharge(3912);
    monitor->tick();
    waitForTheChain();

    EXPECT_TRUE(uploads().empty());
}
