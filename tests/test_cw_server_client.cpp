// The statistics server's client against a local HTTP server: what each request sends, and which
// delegate call each reply becomes.
#include "HttpTestServer.h"
#include "LXCWServer.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

namespace {

struct RecordingDelegate final : LXCWServerDelegate {
    QStringList calls;
    QList<qint32> machineIDs;
    QVariant models = QStringLiteral("not called");
    QVariant battData = QStringLiteral("not called");

    void gotNewMachineID(qint32 machineID) override
    {
        calls << "gotNewMachineID";
        machineIDs << machineID;
    }
    void gotPBModels(const QVariant &reply) override
    {
        calls << "gotPBModels";
        models = reply;
    }
    void gotBattData(const QVariant &reply) override
    {
        calls << "gotBattData";
        battData = reply;
    }
    void sentBattData() override { calls << "sentBattData"; }
};

const char kAveragesXml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<dict><key>pb_modelid</key><integer>3</integer><key>status</key><string>ok</string>
<key>med_capacity</key><integer>5200</integer></dict>
</array></plist>)";

class LXCWServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousServer = qgetenv("CELLWISE_SERVER");
        qputenv("CELLWISE_SERVER", server.url().toUtf8());
        client.setDelegate(&delegate);
    }
    void TearDown() override { qputenv("CELLWISE_SERVER", previousServer); }

    // Waits until the delegate heard of every request made so far.
    void settle()
    {
        ASSERT_TRUE(eventuallyTrue([&] { return delegate.calls.size() == qsizetype(client.conns().size()); }));
    }

    HttpTestServer server;
    RecordingDelegate delegate;
    LXCWServer client;
    QByteArray previousServer;
};

} // namespace

TEST_F(LXCWServerTest, EachRequestGoesToItsPathUnderItsName)
{
    client.registerMachine("MacBookPro11,1");
    client.getBattData();
    client.getPBModels();
    client.sendBattData({{"machineID", qint64(57)}});
    settle();

    std::vector<std::string> paths = server.paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"/cellw_averages_2.php", "/cellw_logbatt.php", "/cellw_pbmodels.php",
                                               "/cellw_register_machine.php"}));
    QStringList names;
    for (const auto &connection : client.conns())
        names << connection->connectionName();
    EXPECT_EQ(names, QStringList({"registermachine", "getbattdata", "getpbmodels", "sendbattdata"}));
    for (const HttpTestServer::Request &request : server.requests()) {
        EXPECT_EQ(request.method, "POST");
        const bool carriesValues = request.path == "/cellw_register_machine.php" || request.path == "/cellw_logbatt.php";
        const bool hasCellwField = std::any_of(request.headers.begin(), request.headers.end(),
                                               [](const auto &field) { return field.first.starts_with("CELLW_"); });
        EXPECT_EQ(hasCellwField, carriesValues) << request.path;
        if (request.path == "/cellw_register_machine.php") {
            EXPECT_EQ(request.header("CELLW_MODELCODE"), "MacBookPro11,1");
        }
    }
}

TEST_F(LXCWServerTest, AnUploadSendsTheSnapshotsFiguresWithNullForWhatIsMissing)
{
    client.sendBattData({{"machineID", qint64(57)}, {"MaxCapacity", qint64(5100)}, {"CurrentCapacity", qint64(4000)},
                         {"InstantAmperage", qint64(-1234)}, {"Voltage", qint64(12400)},
                         {"DesignCapacity", qint64(5500)}, {"Temperature", qint64(3000)}});
    settle();

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.path, "/cellw_logbatt.php");
    EXPECT_EQ(request.header("CELLW_MACHINECODE"), "57");
    EXPECT_EQ(request.header("CELLW_CAPACITY"), "5100");
    EXPECT_EQ(request.header("CELLW_CURRENT"), "4000");
    EXPECT_EQ(request.header("CELLW_AMPERAGE"), "-1234");
    EXPECT_EQ(request.header("CELLW_VOLTAGE"), "12400");
    EXPECT_EQ(request.header("CELLW_DESIGNCAP"), "5500");
    EXPECT_EQ(request.header("CELLW_CYCLECOUNT"), "(null)");
    EXPECT_EQ(request.header("CELLW_FLAGS"), "11111");
    EXPECT_EQ(delegate.calls, QStringList{"sentBattData"});
}

TEST_F(LXCWServerTest, AFirmwareValueWithALineBreakIsNotSent)
{
    ConsoleCapture console;
    client.sendBattData({{"machineID", qint64(57)}, {"CycleCount", "12\r\nCELLW_MACHINECODE: 1"}});
    settle();

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.headerCount("CELLW_CYCLECOUNT"), 0u);
    EXPECT_EQ(request.headerCount("CELLW_MACHINECODE"), 1u);
    EXPECT_EQ(request.header("CELLW_MACHINECODE"), "57");
    EXPECT_TRUE(console.lines().first().startsWith("Left out header field CELLW_CYCLECOUNT of ")) << console.lines().join('\n').toStdString();
}

TEST_F(LXCWServerTest, ARegistrationDeliversTheLeadingNumberOrMinusOne)
{
    const struct {
        const char *reply;
        int status;
        qint32 machineID;
    } cases[] = {
        {"57\n", 200, 57},
        {"  812 machines", 200, 812},
        {"0", 200, -1},
        {"", 200, -1},
        {"registration failed", 500, -1},
        {"-5", 200, -1},
        {"99999999999", 200, -1},
    };
    for (const auto &c : cases) {
        server.answer("/cellw_register_machine.php", {c.status, c.reply});
        delegate.machineIDs.clear();
        client.registerMachine("MacBookPro11,1");
        settle();
        EXPECT_EQ(delegate.machineIDs, QList<qint32>{c.machineID}) << '"' << c.reply << '"';
    }
}

TEST_F(LXCWServerTest, RepliesReachTheDelegateAsArraysOrNull)
{
    server.answer("/cellw_averages_2.php", {200, kAveragesXml});
    server.answer("/cellw_pbmodels.php", {200, "{ pb_modelid = 3; }"});
    client.getBattData();
    settle();
    ConsoleCapture console;
    client.getPBModels();
    settle();

    const QVariantList averages = delegate.battData.toList();
    ASSERT_EQ(averages.size(), 1);
    EXPECT_EQ(averages.first().toMap().value("med_capacity"), qint64(5200));
    EXPECT_TRUE(delegate.models.isNull()) << "a dictionary is not the list of models";
    EXPECT_EQ(console.lines(), QStringList{"The reply of " + server.url() + "/cellw_pbmodels.php is not a list"});
}

TEST_F(LXCWServerTest, AFailedExchangeStillReachesTheDelegateOnceWithOneLine)
{
    qputenv("CELLWISE_SERVER", refusingServerURL().toUtf8());
    ConsoleCapture console;
    client.registerMachine("MacBookPro11,1");
    client.getBattData();
    client.getPBModels();
    client.sendBattData({});
    settle();

    EXPECT_EQ(delegate.machineIDs, QList<qint32>{-1});
    EXPECT_TRUE(delegate.battData.isNull());
    EXPECT_TRUE(delegate.models.isNull());
    EXPECT_EQ(delegate.calls.size(), 4);
    ASSERT_EQ(console.lines().size(), 4);
    EXPECT_TRUE(console.lines().first().startsWith("Statistics server request registermachine failed: "));
}

TEST_F(LXCWServerTest, AnExchangeOfAnotherNameIsOnlyReported)
{
    LXConnection stranger(server.url() + "/other.php");
    stranger.setConnectionName("getbattdata2");
    ConsoleCapture console;
    client.connectionFinished(&stranger);
    EXPECT_EQ(console.lines(), QStringList{"Got return from unhandled connection name"});
    EXPECT_TRUE(delegate.calls.isEmpty());
}

TEST(LXCWServerURL, EnvironmentThenUserDefaultThenLocalServer)
{
    const QByteArray previous = qgetenv("CELLWISE_SERVER");
    UserDefaults::standard().clearAll();
    qputenv("CELLWISE_SERVER", "http://127.0.0.1:1234/");
    UserDefaults::standard().setObject("CWServerURL", "http://127.0.0.1:5678/stats//");
    EXPECT_EQ(LXCWServer::serverURL(), "http://127.0.0.1:1234");
    qunsetenv("CELLWISE_SERVER");
    EXPECT_EQ(LXCWServer::serverURL(), "http://127.0.0.1:5678/stats");
    UserDefaults::standard().clearAll();
    EXPECT_EQ(LXCWServer::serverURL(), "http://127.0.0.1:8642");
    qputenv("CELLWISE_SERVER", previous);
}
