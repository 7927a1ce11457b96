// One exchange with a local HTTP server: the request as it goes out, the reply as it comes back,
// and every way it can end.
#include "HttpTestServer.h"
#include "LXConnection.h"
#include "TestSupport.h"

#include <QCoreApplication>

namespace {

struct FinishCounter final : LXConnectionDelegate {
    int calls = 0;
    void connectionFinished(LXConnection *) override { ++calls; }
};

// Runs an asynchronous exchange to its end, which its delegate must hear of exactly once.
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

} // namespace

TEST(LXConnection, PostsTheValuesAsHeaderFieldsAndLeavesOutAnyThatWouldAddOrSplitAHeader)
{
    HttpTestServer server;
    server.answer("/a.php", {200, "1234"});
    ConsoleCapture console;
    LXConnection connection(server.url() + u"/a.php"_s, {{u"CELLW_GOOD"_s, u"MacBookPro11,1"_s},
                                                         {u"CELLW_NULL"_s, u"(null)"_s},
                                                         {u"CELLW_CRLF"_s, u"1\r\nX-Injected: yes"_s},
                                                         {u"CELLW_LF"_s, u"1\nX-Injected: yes"_s},
                                                         {u"CELLW_TAB"_s, u"1\t2"_s},
                                                         {u"CELLW_NUL"_s, u"1"_s + QChar(0) + u"2"_s},
                                                         {u"CELLW_LS"_s, u"1\u20282"_s},
                                                         {u"Bad Name:"_s, u"1"_s}});
    finish(connection);

    ASSERT_EQ(server.requests().size(), 1u);
    const HttpTestServer::Request request = server.requests().front();
    EXPECT_EQ(request.method + request.body, "POST") << "a POST without body";
    EXPECT_EQ(request.cellwFields(),
              (std::multimap<std::string, std::string>{{"CELLW_GOOD", "MacBookPro11,1"}, {"CELLW_NULL", "(null)"}}));
    EXPECT_EQ(request.headers.count("X-Injected"), 0u);
    EXPECT_EQ(request.headers.count("User-agent"), 1u);
    EXPECT_EQ(request.header("User-agent"), "Cellwise");
    ASSERT_EQ(console.lines().size(), 6) << console.lines().join(u'\n').toStdString();
    EXPECT_EQ(console.lines().at(0),
              u"Left out header field (unprintable) of "_s + server.url()
                  + u"/a.php: it holds a line break or another character a header cannot carry"_s);
    EXPECT_EQ(connection.returnedData(), QVariant(u"1234"_s)) << "OpenStep text: a string";
}

TEST(LXConnection, EveryWayAnExchangeEndsIsReported)
{
    HttpTestServer server;
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

TEST(LXConnection, RepliesThatAreNoTextOrNoPropertyListAreNullAndReportedOnce)
{
    HttpTestServer server;
    server.answer("/latin1", {200, "caf\xe9"});
    server.answer("/garbage", {200, "<plist><dict><key>a</key></plist>"});
    server.answer("/empty", {200, ""});
    LXConnection latin1(server.url() + u"/latin1"_s), garbage(server.url() + u"/garbage"_s),
        empty(server.url() + u"/empty"_s);
    for (LXConnection *connection : {&latin1, &garbage, &empty})
        finish(*connection);

    ConsoleCapture console;
    EXPECT_TRUE(latin1.returnedString().isNull());
    for (LXConnection *connection : {&latin1, &empty, &garbage, &garbage})
        EXPECT_TRUE(connection->returnedData().isNull());
    ASSERT_EQ(console.lines().size(), 1) << "only the garbage is worth a line, once";
    EXPECT_TRUE(console.lines().first().startsWith(u"Unreadable reply from "_s + server.url()
                                                   + u"/garbage: XML property list:"_s));
}

TEST(LXConnection, DestroyingARunningExchangeTellsNobody)
{
    HttpTestServer server;
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
