// The version check against a local HTTP server: the request, the reply forms, and the alert with
// its buttons answered by the test.
#include "HttpTestServer.h"
#include "LXAdditions.h"
#include "LXVersionChecker.h"
#include "TestSupport.h"

#include <QCoreApplication>

TEST(UrlEncode, EncodesTheSeparatorsAndLeavesTheRest)
{
    EXPECT_EQ(LXAdditions::urlEncode(u"1.0 (2)"_s), u"1.0 %282%29"_s);
    EXPECT_EQ(LXAdditions::urlEncode(u"50%"_s), u"50%"_s);
    EXPECT_EQ(LXAdditions::urlEncode(u";/?:@&=+$,[]#!'()*"_s),
              u"%3B%2F%3F%3A%40%26%3D%2B%24%2C%5B%5D%23%21%27%28%29%2A"_s);
    EXPECT_EQ(LXAdditions::urlEncode(u"Zellwürfel ~-_."_s), u"Zellwürfel ~-_."_s);
}

namespace {

QByteArray xmlReply(const char *entries)
{
    return QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>") + entries + "</dict></plist>";
}

class VersionCheckTest : public ::testing::Test {
protected:
    void SetUp() override { QCoreApplication::setApplicationVersion(u"1.0 (2)"_s); }
    void TearDown() override { QCoreApplication::setApplicationVersion({}); }

    // Checks against a reply and waits until it has been dealt with: kept, or refused with a line.
    void check(const QByteArray &reply, int status = 200)
    {
        server.answer("/versioncheck.php", {status, reply.toStdString()});
        const qsizetype linesBefore = console.lines().size();
        checker.checkVersion();
        ASSERT_TRUE(
            eventuallyTrue([&] { return !checker.versionData().isEmpty() || console.lines().size() > linesBefore; }));
    }

    HttpTestServer server;
    ScopedEnv serverURL{"CELLWISE_SERVER", server.url().toUtf8()};
    ConsoleCapture console;
    LXVersionChecker checker;
    FakeUser user;
};

} // namespace

TEST_F(VersionCheckTest, ANewVersionIsOfferedAndVisitWebsiteOpensItsPage)
{
    const QByteArray reply =
        xmlReply("<key>success</key><true/><key>alertNew</key><true/><key>currentVersion</key>"
                 "<string>2.1</string><key>productPage</key><string>https://example.org/cellwise</string>");
    check(reply);
    EXPECT_EQ(server.requests().at(0).method + server.requests().at(0).target,
              "GET/versioncheck.php?name=Cellwise&ver=1.0%20%282%29");
    EXPECT_TRUE(user.opened.isEmpty()) << "Cancel opens nothing";
    user.answer = AlertPanel::Response::Alternate;
    check(reply);

    ASSERT_EQ(user.alerts.size(), 2);
    const AlertPanel::Alert &offer = user.alerts[0];
    EXPECT_EQ(QStringList({offer.title, offer.defaultButton, offer.alternateButton, offer.otherButton}),
              QStringList({u"New Version"_s, u"Cancel"_s, u"Visit Website"_s, QString()}));
    EXPECT_EQ(offer.message, u"A new version of Cellwise is available. Please visit the website to download an "
                             "updated copy.\n\nYour version: 1.0 (2)\nCurrent Version: 2.1"_s);
    EXPECT_EQ(user.opened, QList<QUrl>{QUrl(u"https://example.org/cellwise"_s)});
}

TEST_F(VersionCheckTest, OnlyAnUnderstoodYesOffersAVersionAndOnlyAWebPageIsOffered)
{
    const struct {
        QByteArray reply;
        int status;
        const char *alternateButton; // null: no alert
        QString line;                // the start of the one console line; null for none
    } rows[] = {
        {xmlReply("<key>success</key><true/><key>alertNew</key><false/>"), 200, nullptr, QString()}, // nothing new
        {"{ success = YES; alertNew = YES; currentVersion = 2.0; }", 200, "", QString()},
        {xmlReply("<key>success</key><true/><key>alertNew</key><true/><key>productPage</key>"
                  "<string>file:///etc/passwd</string>"),
         200, "", u"Ignored the product page of the version check: not a web address"_s},
        {"{ success = NO; alertNew = YES; }", 200, nullptr, u"Couldn't check version"_s},
        {xmlReply("<key>success</key><false/><key>alertNew</key><true/>"), 200, nullptr, u"Couldn't check version"_s},
        {"<html>Not Found</html>", 404, nullptr, u"Couldn't check version: OpenStep property list:"_s},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reply.toStdString());
        user.alerts.clear();
        const QStringList linesBefore = console.lines();
        check(row.reply, row.status);
        EXPECT_TRUE(row.alternateButton ? user.alerts.size() == 1
                                              && user.alerts[0].alternateButton == QLatin1String(row.alternateButton)
                                        : user.alerts.isEmpty());
        const QStringList lines = console.lines().mid(linesBefore.size());
        EXPECT_TRUE(row.line.isNull() ? lines.isEmpty() : lines.size() == 1 && lines[0].startsWith(row.line))
            << lines.join(u'\n').toStdString();
    }

    ScopedEnv refusing("CELLWISE_SERVER", refusingServerURL().toUtf8());
    check({});
    EXPECT_EQ(console.lines().last(), u"Couldn't check version: Connection refused"_s);
}
