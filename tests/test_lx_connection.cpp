// One exchange with a local HTTP server: the request as it goes out, the reply as it comes back,
// and every way it can end.
#include "HttpTestServer.h"
#include "LXConnection.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct FinishCounter final : LXConnectionDelegate {
    int calls = 0;
    void connectionFinished(LXConnection *) override { ++calls; }
};

class LXConnectionTest : public ::testing::Test {
protected:
    // Runs an asynchronous exchange to its end.
    void finish(LXConnection &connection)
    {
        connection.setDelegate(&counter);
        connection.executeSynchronous(false);
        ASSERT_TRUE(eventuallyTrue([&] { return counter.calls > 0; }));
        EXPECT_FALSE(connection.isRunning());
    }

    HttpTestServer server;
    FinishCounter counter;
};

} // namespace

TEST_F(LXConnectionTest, PostsTheValuesAsHeaderFieldsWithTheUserAgentAndNoBody)
{
    server.answer("/a.php", {200, "1234"});
    LXConnection connection(server.url() + "/a.php", {{"CELLW_ONE", "1"}, {"CELLW_TWO", "(null)"}});
    finish(connection);

    const std::vector<HttpTestServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const HttpTestServer::Request &request = requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.header("CELLW_ONE"), "1");
    EXPECT_EQ(request.header("CELLW_TWO"), "(null)");
    EXPECT_EQ(request.headerCount("User-agent"), 1u);
    EXPECT_EQ(request.header("User-agent"), "Cellwise");
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(connection.statusCode(), 0);
    EXPECT_TRUE(connection.urlError().isNull());
    EXPECT_EQ(connection.returnedString(), "1234");
    EXPECT_EQ(connection.returnedData(), QVariant(QStringLiteral("1234"))) << "OpenStep text: a string";
}

TEST_F(LXConnectionTest, ParsesXmlAndOpenStepReplies)
{
    server.answer("/xml", {200, "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><dict><key>pb_modelid</key>"
                                "<integer>7</integer></dict></array></plist>"});
    server.answer("/openstep", {200, "( { pb_modelid = 7; name = \"Seven\"; } )"});
    LXConnection xml(server.url() + "/xml");
    finish(xml);
    LXConnection openStep(server.url() + "/openstep");
    counter.calls = 0;
    finish(openStep);

    EXPECT_EQ(xml.returnedData(), QVariant(QVariantList{QVariantMap{{"pb_modelid", qint64(7)}}}));
    EXPECT_EQ(openStep.returnedData(), QVariant(QVariantList{QVariantMap{{"pb_modelid", "7"}, {"name", "Seven"}}}));
}

TEST_F(LXConnectionTest, AServerErrorStillFinishesWithStatusZeroAndItsBody)
{
    server.answer("/broken", {500, "internal error"});
    LXConnection connection(server.url() + "/broken");
    finish(connection);

    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(connection.statusCode(), 0);
    EXPECT_TRUE(connection.urlError().isNull());
    EXPECT_EQ(connection.returnedString(), "internal error");
}

TEST_F(LXConnectionTest, ARefusedConnectionFinishesWithMinusOneAndNoReply)
{
    LXConnection connection(refusingServerURL() + "/a.php");
    finish(connection);

    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(connection.statusCode(), -1);
    EXPECT_FALSE(connection.urlError().isEmpty());
    EXPECT_TRUE(connection.returnedString().isNull());
    EXPECT_TRUE(connection.returnedData().isNull());
}

TEST_F(LXConnectionTest, ASilentServerTimesOut)
{
    server.answer("/slow", {200, "late", 5000});
    LXConnection connection(server.url() + "/slow");
    EXPECT_DOUBLE_EQ(connection.timeoutInterval(), 15.0);
    connection.setTimeoutInterval(0.2);
    finish(connection);

    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(connection.statusCode(), -1);
    EXPECT_EQ(connection.urlError(), "timed out after 0.2 s");
    EXPECT_TRUE(connection.returnedString().isNull());
}

TEST_F(LXConnectionTest, AValueThatWouldAddOrSplitAHeaderIsLeftOut)
{
    ConsoleCapture console;
    LXConnection connection(server.url() + "/a.php", {
                                                          {"CELLW_GOOD", "MacBookPro11,1"},
                                                          {"CELLW_CRLF", "1\r\nX-Injected: yes"},
                                                          {"CELLW_LF", "1\nX-Injected: yes"},
                                                          {"CELLW_TAB", "1\t2"},
                                                          {"CELLW_NUL", QString("1") + QChar(0) + "2"},
                                                          {"CELLW_LS", QString("1") + QChar(0x2028) + "2"},
                                                          {"Bad Name:", "1"},
                                                      });
    finish(connection);

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.header("CELLW_GOOD"), "MacBookPro11,1");
    for (const char *name : {"CELLW_CRLF", "CELLW_LF", "CELLW_TAB", "CELLW_NUL", "CELLW_LS", "X-Injected", "Bad Name"})
        EXPECT_EQ(request.headerCount(name), 0u) << name;
    ASSERT_EQ(console.lines().size(), 6) << console.lines().join('\n').toStdString();
    EXPECT_EQ(console.lines().at(0), "Left out header field (unprintable) of " + server.url()
                                         + "/a.php: it holds a line break or another character a header cannot carry");
    EXPECT_TRUE(console.lines().at(1).startsWith("Left out header field CELLW_CRLF of "));
}

TEST_F(LXConnectionTest, RepliesThatAreNoTextOrNoPropertyListParseToNull)
{
    server.answer("/latin1", {200, "caf\xe9"});
    server.answer("/garbage", {200, "<plist><dict><key>a</key></plist>"});
    server.answer("/empty", {200, ""});
    LXConnection latin1(server.url() + "/latin1");
    LXConnection garbage(server.url() + "/garbage");
    LXConnection empty(server.url() + "/empty");
    for (LXConnection *connection : {&latin1, &garbage, &empty}) {
        counter.calls = 0;
        finish(*connection);
    }

    ConsoleCapture console;
    EXPECT_TRUE(latin1.returnedString().isNull());
    EXPECT_TRUE(latin1.returnedData().isNull());
    EXPECT_TRUE(empty.returnedData().isNull());
    EXPECT_TRUE(console.lines().isEmpty()) << "no reply text is nothing to complain about";
    EXPECT_TRUE(garbage.returnedData().isNull());
    EXPECT_TRUE(garbage.returnedData().isNull());
    ASSERT_EQ(console.lines().size(), 1) << "parsed once";
    EXPECT_TRUE(console.lines().first().startsWith("Unreadable reply from " + server.url() + "/garbage: XML property list:"));
}

TEST_F(LXConnectionTest, AnOversizedReplyIsRefusedBeforeItFillsMemory)
{
    server.answer("/huge", {200, std::string(UrlConnection::maximumReplyBytes + 1, 'x')});
    server.answer("/large", {200, std::string(UrlConnection::maximumReplyBytes, 'x')});
    LXConnection huge(server.url() + "/huge");
    finish(huge);
    LXConnection large(server.url() + "/large");
    counter.calls = 0;
    finish(large);

    EXPECT_EQ(huge.statusCode(), -1);
    EXPECT_EQ(huge.urlError(), "the reply is larger than 1048576 bytes");
    EXPECT_TRUE(huge.returnedString().isNull());
    EXPECT_EQ(large.statusCode(), 0);
    EXPECT_EQ(large.returnedString().size(), UrlConnection::maximumReplyBytes);
}

TEST_F(LXConnectionTest, SynchronousExchangesGiveTheHttpStatusWithoutTellingTheDelegate)
{
    server.answer("/broken", {500, "internal error"});
    LXConnection broken(server.url() + "/broken");
    broken.setDelegate(&counter);
    broken.executeSynchronous(true);
    EXPECT_EQ(broken.statusCode(), 500);
    EXPECT_EQ(broken.returnedString(), "internal error");

    LXConnection refused(refusingServerURL());
    refused.setDelegate(&counter);
    refused.executeSynchronous(true);
    EXPECT_EQ(refused.statusCode(), 0);
    EXPECT_FALSE(refused.urlError().isEmpty());
    EXPECT_EQ(counter.calls, 0);
}

TEST_F(LXConnectionTest, DestroyingARunningExchangeTellsNobody)
{
    server.answer("/slow", {200, "late", 300});
    {
        LXConnection connection(server.url() + "/slow");
        connection.setDelegate(&counter);
        connection.executeSynchronous(false);
    }
    QTest::qWait(500);
    EXPECT_EQ(counter.calls, 0);
}
