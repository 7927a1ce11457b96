// The statistics server's client against a local HTTP server: what each request sends, and which
// delegate call each reply becomes.
#include "HttpTestServer.h"
#include "LXCWServer.h"
#include "TestSupport.h"
#include "UserDefaults.h"

namespace {

struct RecordingDelegate final : LXCWServerDelegate {
    QStringList calls;
    QList<qint32> machineIDs;
    QVariant models;
    // clang-format off
    void gotNewMachineID(qint32 machineID) override { calls << u"gotNewMachineID"_s; machineIDs << machineID; }
    void gotPBModels(const QVariant &reply) override { calls << u"gotPBModels"_s; models = reply; }
    void gotBattData(const QVariant &) override { calls << u"gotBattData"_s; }
    void sentBattData() override { calls << u"sentBattData"_s; }
};
// clang-format on

class LXCWServerTest : public ::testing::Test {
protected:
    void SetUp() override { client.setDelegate(&delegate); }

    // Waits until the delegate heard of every request made so far.
    void settle()
    {
        ASSERT_TRUE(eventuallyTrue([&] { return delegate.calls.size() == qsizetype(client.conns().size()); }));
    }

    HttpTestServer server;
    ScopedEnv serverURL{"CELLWISE_SERVER", server.url().toUtf8()};
    RecordingDelegate delegate;
    LXCWServer client;
};

} // namespace

TEST_F(LXCWServerTest, AnUploadSendsTheSnapshotsFiguresWithNullForWhatIsMissing)
{
    client.sendBattData({{u"machineID"_s, qint64(57)},
                         {u"MaxCapacity"_s, qint64(5100)},
                         {u"CurrentCapacity"_s, qint64(4000)},
                         {u"InstantAmperage"_s, qint64(-1234)},
                         {u"Voltage"_s, qint64(12400)},
                         {u"DesignCapacity"_s, qint64(5500)},
                         {u"Temperature"_s, qint64(3000)}});
    settle();

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.target, "/cellw_logbatt.php");
    const std::multimap<std::string, std::string> expected{{"CELLW_MACHINECODE", "57"},    {"CELLW_CAPACITY", "5100"},
                                                           {"CELLW_CURRENT", "4000"},      {"CELLW_AMPERAGE", "-1234"},
                                                           {"CELLW_VOLTAGE", "12400"},     {"CELLW_DESIGNCAP", "5500"},
                                                           {"CELLW_CYCLECOUNT", "(null)"}, {"CELLW_FLAGS", "11111"}};
    EXPECT_EQ(request.cellwFields(), expected);
    EXPECT_EQ(delegate.calls, QStringList{u"sentBattData"_s});
}

TEST_F(LXCWServerTest, ARegistrationDeliversTheLeadingNumberOrMinusOne)
{
    const struct {
        const char *reply;
        int status;
        qint32 machineID;
        // clang-format off
    } rows[] = {
        {"57\n", 200, 57}, {"  812 machines", 200, 812}, {"0", 200, -1}, {"", 200, -1},
        {"registration failed", 500, -1}, {"-5", 200, -1}, {"99999999999", 200, -1},
    };
    // clang-format on
    for (const auto &row : rows) {
        server.answer("/cellw_register_machine.php", {row.status, row.reply});
        delegate.machineIDs.clear();
        client.registerMachine(u"MacBookPro11,1"_s);
        settle();
        EXPECT_EQ(delegate.machineIDs, QList<qint32>{row.machineID}) << '"' << row.reply << '"';
    }
}

TEST_F(LXCWServerTest, AReplyThatIsNoListReachesTheDelegateAsNullWithALine)
{
    server.answer("/cellw_pbmodels.php", {200, "{ pb_modelid = 3; }"});
    ConsoleCapture console;
    client.getPBModels();
    settle();
    EXPECT_EQ(delegate.calls, QStringList{u"gotPBModels"_s});
    EXPECT_TRUE(delegate.models.isNull()) << "a dictionary is not the list of models";
    EXPECT_EQ(console.lines(), QStringList{u"The reply of "_s + server.url() + u"/cellw_pbmodels.php is not a list"_s});
}

TEST_F(LXCWServerTest, AFailedExchangeStillReachesTheDelegateOnceWithOneLine)
{
    ScopedEnv refusing("CELLWISE_SERVER", refusingServerURL().toUtf8());
    ConsoleCapture console;
    client.registerMachine(u"MacBookPro11,1"_s);
    client.getBattData();
    client.getPBModels();
    client.sendBattData({});
    settle();
    EXPECT_EQ(delegate.calls.size(), 4);
    ASSERT_EQ(console.lines().size(), 4);
    EXPECT_TRUE(console.lines().first().startsWith(u"Statistics server request registermachine failed: "_s));
}

TEST(LXCWServerURL, TheEnvironmentBeforeTheUserDefaultWithoutTrailingSlashes)
{
    UserDefaults::standard().setObject(u"CWServerURL"_s, u"http://127.0.0.1:5678/stats//"_s);
    {
        ScopedEnv server("CELLWISE_SERVER", "http://127.0.0.1:1234/");
        EXPECT_EQ(LXCWServer::serverURL(), u"http://127.0.0.1:1234"_s);
    }
    ScopedEnv noServer("CELLWISE_SERVER", QByteArray());
    EXPECT_EQ(LXCWServer::serverURL(), u"http://127.0.0.1:5678/stats"_s);
    UserDefaults::standard().clearAll();
}
