// One exchange with a local HTTP server: the request as it goes out, the reply as it comes back,
// and every way it can end.
#include "HttpTestServer.h"
#include "LXConnection.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct FinishCounter : LXConnectionDelegate {
    int calls = 0;
    void connectionFinished(LXConnection *) override { ++calls; }
};

class LXConnectionTest : public ::testing::Test {
protected:
    // Runs an asynchronous exchange to its end, which its delegate hears of once.
    void finish(LXConnection &connection)
    {
        FinishCounter counter;
        connection.setDelegate(&counter);
        connection.executeSynchronous(false);
        ASSERT_TRUE(eventuallyTrue([&] { return counter.calls > 0; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(counter.calls, 1);
        EXPECT_FALSE(connection.isRunning());
        connection.setDelegate(nullptr);
    }

    HttpTestServer server;
};

} // namespace

TEST_F(LXConnectionTest, PostsTheValuesAsHeaderFieldsWithTheUserAgentAndNoBody)
{
    server.answer("/a.php", {200, "1234"});
    LXConnection connection(server.url() + u"/a.php"_s, {{u"CELLW_ONE"_s, u"1"_s}, {u"CELLW_TWO"_s, u"(null)"_s}});
    finish(connection);

    ASSERT_EQ(server.requests().size(), 1u);
    const HttpTestServer::Request request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.header("CELLW_ONE"), "1");
    EXPECT_EQ(request.header("CELLW_TWO"), "(null)");
    EXPECT_EQ(request.headers.count("User-agent"), 1u);
    EXPECT_EQ(request.header("User-agent"), "Cellwise");
    EXPECT_EQ(connection.returnedString(), u"1234"_s);
    EXPECT_EQ(connection.returnedData(), QVariant(u"1234"_s)) << "OpenStep text: a string";
}

TEST_F(LXConnectionTest, EveryWayAnExchangeEndsIsReported)
{
    server.answer("/broken", {500, "internal error"});
    server.answer("/slow", {200, "late", 5000});
    server.answer("/huge", {200, std::string(UrlConnection::maximumReplyBytes + 1, 'x')});
    server.answer("/large", {200, std::string(UrlConnection::maximumReplyBytes, 'x')});
    const struct {
        QString url;
        qint64 status; // 0 for any reply, whatever its HTTP status; -1 without one
        QString error;
        qsizetype replySize; // -1: no reply text
    } rows[] = {
        {server.url() + u"/broken"_s, 0, QString(), 14},
        {server.url() + u"/large"_s, 0, QString(), UrlConnection::maximumReplyBytes},
        {refusingServerURL(), -1, u"Connection refused"_s, -1},
        {server.url() + u"/slow"_s, -1, u"timed out after 0.2 s"_s, -1},
        {server.url() + u"/huge"_s, -1, u"the reply is larger than 1048576 bytes"_s, -1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.url.toStdString());
        LXConnection connection(row.url);
        connection.setTimeoutInterval(row.url.endsWith(u"/slow"_s) ? 0.2 : LXConnection::defaultTimeoutInterval);
        finish(connection);
        EXPECT_EQ(connection.statusCode(), row.status);
        EXPECT_EQ(connection.urlError(), row.error);
        EXPECT_EQ(connection.urlError().isNull(), row.error.isNull());
        EXPECT_EQ(connection.returnedString().isNull() ? -1 : connection.returnedString().size(), row.replySize);
    }
}

TEST_F(LXConnectionTest, AValueThatWouldAddOrSplitAHeaderIsLeftOut)
{
    ConsoleCapture console;
    LXConnection connection(server.url() + u"/a.php"_s, {
                                                            {u"CELLW_GOOD"_s, u"MacBookPro11,1"_s},
                                                            {u"CELLW_CRLF"_s, u"1\r\nX-Injected: yes"_s},
                                                            {u"CELLW_LF"_s, u"1\nX-Injected: yes"_s},
                                                            {u"CELLW_TAB"_s, u"1\t2"_s},
                                                            {u"CELLW_NUL"_s, u"1"_s + QChar(0) + u"2"_s},
                                                            {u"CELLW_LS"_s, u"1\u20282"_s},
                                                            {u"Bad Name:"_s, u"1"_s},
                                                        });
    finish(connection);

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.header("CELLW_GOOD"), "MacBookPro11,1");
    for (const char *name : {"CELLW_CRLF", "CELLW_LF", "CELLW_TAB", "CELLW_NUL", "CELLW_LS", "X-Injected", "Bad Name"})
        EXPECT_EQ(request.headers.count(name), 0u) << name;
    ASSERT_EQ(console.lines().size(), 6) << console.lines().join(u'\n').toStdString();
    EXPECT_EQ(console.lines().at(0), u"Left out header field (unprintable) of "_s + server.url()
                                         + u"/a.php: it holds a line break or another character a header cannot carry"_s);
    EXPECT_TRUE(console.lines().at(1).startsWith(u"Left out header field CELLW_CRLF of "_s));
}

TEST_F(LXConnectionTest, RepliesThatAreNoTextOrNoPropertyListParseToNullOnce)
{
    server.answer("/latin1", {200, "caf\xe9"});
    server.answer("/garbage", {200, "<plist><dict><key>a</key></plist>"});
    server.answer("/empty", {200, ""});
    LXConnection latin1(server.url() + u"/latin1"_s);
    LXConnection garbage(server.url() + u"/garbage"_s);
    LXConnection empty(server.url() + u"/empty"_s);
    for (LXConnection *connection : {&latin1, &garbage, &empty})
        finish(*connection);

    ConsoleCapture console;
    EXPECT_TRUE(latin1.returnedString().isNull());
    EXPECT_TRUE(latin1.returnedData().isNull());
    EXPECT_TRUE(empty.returnedData().isNull());
    EXPECT_TRUE(console.lines().isEmpty()) << "no reply text is nothing to complain about";
    EXPECT_TRUE(garbage.returnedData().isNull());
    EXPECT_TRUE(garbage.returnedData().isNull());
    ASSERT_EQ(console.lines().size(), 1) << "parsed once";
    EXPECT_TRUE(console.lines().first().startsWith(u"Unreadable reply from "_s + server.url()
                                                   + u"/garbage: XML property list:"_s));
}

TEST_F(LXConnectionTest, SynchronousExchangesGiveTheHttpStatusWithoutTellingTheDelegate)
{
    FinishCounter counter;
    server.answer("/broken", {500, "internal error"});
    LXConnection broken(server.url() + u"/broken"_s);
    broken.setDelegate(&counter);
    broken.executeSynchronous(true);
    EXPECT_EQ(broken.statusCode(), 500);
    EXPECT_EQ(broken.returnedString(), u"internal error"_s);

    LXConnection refused(refusingServerURL());
    refused.setDelegate(&counter);
    refused.executeSynchronous(true);
    EXPECT_EQ(refused.statusCode(), 0);
    EXPECT_FALSE(refused.urlError().isEmpty());
    EXPECT_EQ(counter.calls, 0);
}

TEST_F(LXConnectionTest, DestroyingARunningExchangeTellsNobody)
{
    server.answer("/a.php", {200, "1"});
    FinishCounter abandoned;
    {
        LXConnection connection(server.url() + u"/a.php"_s);
        connection.setDelegate(&abandoned);
        connection.executeSynchronous(false);
    }
    // A later exchange with the same server ends after the abandoned one would have.
    LXConnection later(server.url() + u"/a.php"_s);
    finish(later);
    EXPECT_EQ(abandoned.calls, 0);
}
