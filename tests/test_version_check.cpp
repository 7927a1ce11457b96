// The version check against a local HTTP server: the request, the reply forms, and the alert with
// its buttons answered by the test.
#include "AlertPanel.h"
#include "HttpTestServer.h"
#include "LXAdditions.h"
#include "LXVersionChecker.h"
#include "TestSupport.h"
#include "UrlOpener.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

TEST(UrlEncode, EncodesTheSeparatorsAndLeavesTheRest)
{
    EXPECT_EQ(LXAdditions::urlEncode("x&y=z"), "x%26y%3Dz");
    EXPECT_EQ(LXAdditions::urlEncode("1.0 (2)"), "1.0 %282%29");
    EXPECT_EQ(LXAdditions::urlEncode("50%"), "50%");
    EXPECT_EQ(LXAdditions::urlEncode(";/?:@&=+$,[]#!'()*"),
              "%3B%2F%3F%3A%40%26%3D%2B%24%2C%5B%5D%23%21%27%28%29%2A");
    EXPECT_EQ(LXAdditions::urlEncode("Zellwürfel ~-_."), "Zellwürfel ~-_.");
}

namespace {

QByteArray versionReply(const QString &entries)
{
    return ("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries + "</dict></plist>").toUtf8();
}

// dict {success = true; alertNew = true; currentVersion = "2.0"} in the binary form, built by hand.
QByteArray binaryVersionReply()
{
    QByteArray bytes = "bplist00";
    QList<int> offsets;
    const auto add = [&](const QByteArray &object) {
        offsets << bytes.size();
        bytes += object;
    };
    add(QByteArray::fromHex("d3010203040506")); // dict of 3: keys 1-3, values 4-6
    add(QByteArray("\x57success"));
    add(QByteArray("\x58" "alertNew"));
    add(QByteArray("\x5e" "currentVersion"));
    add(QByteArray("\x09"));
    add(QByteArray("\x09"));
    add(QByteArray("\x53" "2.0"));
    const int tableOffset = bytes.size();
    for (int offset : offsets)
        bytes += char(offset);
    bytes += QByteArray(6, '\0') + char(1) + char(1);
    bytes += QByteArray(7, '\0') + char(offsets.size()) + QByteArray(8, '\0') + QByteArray(7, '\0') + char(tableOffset);
    return bytes;
}

class VersionCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousServer = qgetenv("CELLWISE_SERVER");
        qputenv("CELLWISE_SERVER", server.url().toUtf8());
        QCoreApplication::setApplicationVersion("1.0 (2)");
        AlertPanel::setResponder([this](const AlertPanel::Alert &alert) {
            alerts << alert;
            return answer;
        });
        UrlOpener::setHandler([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override
    {
        AlertPanel::setResponder({});
        UrlOpener::setHandler({});
        QCoreApplication::setApplicationVersion({});
        qputenv("CELLWISE_SERVER", previousServer);
    }

    // Checks against a reply and waits until it has been dealt with (all at once, when it arrives).
    void check(const QByteArray &reply, int status = 200)
    {
        server.answer("/versioncheck.php", {status, reply.toStdString()});
        checker.checkVersion();
        ASSERT_TRUE(eventuallyTrue([&] { return !checker.versionData().isEmpty(); }));
    }

    HttpTestServer server;
    LXVersionChecker checker;
    AlertPanel::Response answer = AlertPanel::Response::Default;
    QList<AlertPanel::Alert> alerts;
    QList<QUrl> opened;
    QByteArray previousServer;
};

} // namespace

TEST_F(VersionCheckTest, AsksWithTheEncodedNameAndVersion)
{
    ConsoleCapture console;
    check(versionReply("<key>success</key><true/><key>alertNew</key><false/><key>currentVersion</key><string>1.0</string>"));

    const HttpTestServer::Request request = server.requests().at(0);
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/versioncheck.php?name=Cellwise&ver=1.0%20%282%29");
    EXPECT_EQ(request.query.find("ver")->second, "1.0 (2)");
    EXPECT_TRUE(alerts.isEmpty()) << "nothing new: nothing shown";
    EXPECT_TRUE(console.lines().isEmpty()) << "and nothing logged";
    EXPECT_FALSE(checker.versionData().isEmpty());
}

TEST_F(VersionCheckTest, ANewVersionIsOfferedAndVisitWebsiteOpensItsPage)
{
    const QByteArray reply = versionReply("<key>success</key><true/><key>alertNew</key><true/><key>currentVersion</key>"
                                          "<string>2.1</string><key>productPage</key><string>https://example.org/cellwise</string>");
    answer = AlertPanel::Response::Default;
    check(reply);
    EXPECT_TRUE(opened.isEmpty()) << "Cancel opens nothing";
    answer = AlertPanel::Response::Alternate;
    check(reply);

    ASSERT_EQ(alerts.size(), 2);
    EXPECT_EQ(alerts[0].title, "New Version");
    EXPECT_EQ(alerts[0].message, "A new version of Cellwise is available. Please visit the website to download an "
                                 "updated copy.\n\nYour version: 1.0 (2)\nCurrent Version: 2.1");
    EXPECT_EQ(alerts[0].defaultButton, "Cancel");
    EXPECT_EQ(alerts[0].alternateButton, "Visit Website");
    EXPECT_TRUE(alerts[0].otherButton.isEmpty());
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://example.org/cellwise")});
}

TEST_F(VersionCheckTest, WithoutAWebPageOnlyCancelIsOffered)
{
    check(versionReply("<key>success</key><true/><key>alertNew</key><true/><key>currentVersion</key><string>2.1</string>"));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0].alternateButton.isEmpty());

    ConsoleCapture console;
    check(versionReply("<key>success</key><true/><key>alertNew</key><true/><key>currentVersion</key><string>2.1</string>"
                       "<key>productPage</key><string>file:///etc/passwd</string>"));
    ASSERT_EQ(alerts.size(), 2);
    EXPECT_TRUE(alerts[1].alternateButton.isEmpty()) << "only a web page is offered";
    EXPECT_EQ(console.lines(), QStringList{"Ignored the product page of the version check: not a web address"});
}

TEST_F(VersionCheckTest, OpenStepAndBinaryRepliesAreReadToo)
{
    check("{ success = YES; alertNew = YES; currentVersion = 2.0; }");
    check(binaryVersionReply());
    ASSERT_EQ(alerts.size(), 2);
    EXPECT_TRUE(alerts[0].message.endsWith("Current Version: 2.0"));
    EXPECT_TRUE(alerts[1].message.endsWith("Current Version: 2.0"));

    check("{ success = NO; alertNew = YES; }");
    EXPECT_EQ(alerts.size(), 2) << "NO is not a yes";
}

TEST_F(VersionCheckTest, FailuresAreOneConsoleLineAndNeverAnAlert)
{
    ConsoleCapture console;
    check("<html>Not Found</html>", 404);
    check(versionReply("<key>success</key><false/><key>alertNew</key><true/>"));
    qputenv("CELLWISE_SERVER", refusingServerURL().toUtf8());
    checker.checkVersion();
    ASSERT_TRUE(eventuallyTrue([&] { return console.lines().size() == 3; }));

    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_TRUE(console.lines().at(0).startsWith("Couldn't check version: OpenStep property list:")) << console.lines().at(0).toStdString();
    EXPECT_EQ(console.lines().at(1), "Couldn't check version");
    EXPECT_EQ(console.lines().at(2), "Couldn't check version: Connection refused");
}
