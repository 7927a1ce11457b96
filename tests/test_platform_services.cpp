#include "AlertPanel.h"
#include "Console.h"
#include "NotificationCenter.h"
#include "PropertyListWriter.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(NotificationCenter, DeliversByNameAndSender)
{
    NotificationCenter center;
    int a = 0, b = 0, any = 0;
    const int senderA = 0, senderB = 0;
    const Subscription subscriptions[] = {
        center.addObserver("N", &senderA, [&](const Notification &) { ++a; }),
        center.addObserver("N", &senderB, [&](const Notification &) { ++b; }),
        center.addObserver("N", nullptr, [&](const Notification &) { ++any; }),
    };
    center.post("N", &senderA);
    center.post("Other", &senderA);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(any, 1);
}

// Every way a subscription ends: the observer is not called again, whoever ended it and when.
TEST(Subscription, AnObserverWhoseSubscriptionEndedIsNeverCalled)
{
    auto center = std::make_unique<NotificationCenter>();
    int calls = 0;
    const auto counting = [&](const Notification &) { ++calls; };

    Subscription second;
    const Subscription first = center->addObserver("N", nullptr, [&](const Notification &) { second.reset(); });
    second = center->addObserver("N", nullptr, counting);
    center->post("N", nullptr);
    EXPECT_EQ(calls, 0) << "ended by an earlier observer of the same post";

    Subscription self;
    self = center->addObserver("N", nullptr, [&](const Notification &) {
        ++calls;
        self.reset();
    });
    center->post("N", nullptr);
    center->post("N", nullptr);
    EXPECT_EQ(calls, 1) << "an observer that ends its own subscription is called once";

    struct Page {
        Subscription observation;
    };
    auto page = std::make_unique<Page>();
    page->observation = center->addObserver("N", nullptr, counting);
    Subscription moved = center->addObserver("N", nullptr, counting);
    Subscription kept = std::move(moved);
    kept = center->addObserver("Other", nullptr, counting);
    page.reset();
    center->post("N", nullptr);
    EXPECT_EQ(calls, 1) << "a destroyed owner's and a replaced subscription's observers are gone";

    center.reset();
    kept.reset(); // the source went first: nothing left to do, nothing to crash
}

TEST(UserDefaults, RegisteredValuesAnswerUntilTheUserSetsOne)
{
    UserDefaults &defaults = UserDefaults::standard();
    defaults.clearAll();
    defaults.registerDefaults({{"CWMaxAH", 8.0}, {"CWShowWindowOnActivate", true}});
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("CWMaxAH"), 8.0);
    EXPECT_TRUE(defaults.boolForKey("CWShowWindowOnActivate"));

    int changes = 0;
    Subscription observation = defaults.addObserver("values.CWMaxAH", [&] { ++changes; });
    defaults.setDouble("CWMaxAH", 6.5);
    defaults.setDouble("CWMaxAH", 6.5);
    defaults.setBool("CWShowWindowOnActivate", false);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("CWMaxAH"), 6.5);
    EXPECT_FALSE(defaults.boolForKey("CWShowWindowOnActivate"));
    EXPECT_EQ(changes, 1) << "setting the same value again is no change";

    defaults.removeObjectForKey("CWMaxAH");
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("CWMaxAH"), 8.0);
    EXPECT_EQ(changes, 2);
    observation.reset();
    defaults.setDouble("CWMaxAH", 7.0);
    EXPECT_EQ(changes, 2) << "no call once the subscription ended";
    defaults.clearAll();
}

TEST(Console, SinkCapturesLinesAndQtMessagesWithoutTrailingNewline)
{
    ConsoleCapture capture;
    Console::line("Can't open database: disk I/O error\n");
    Console::routeQtMessages();
    qWarning("QPainter::begin: Paint device returned engine == 0");
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(capture.lines(), (QStringList{"Can't open database: disk I/O error",
                                            "QPainter::begin: Paint device returned engine == 0"}));
}

TEST(PropertyListWriter, OpenStepTextOfNestedValues)
{
    const QVariantMap map = {{"A", qint64(-5)}, {"Name", "two words"}, {"On", true},
                             {"Cells", QVariantList{qint64(1), qint64(2)}}, {"Raw", QByteArray("\x01\x02", 2)}};
    EXPECT_EQ(PropertyListWriter::openStepText(map),
              "{\n    A = -5;\n    Cells = (\n        1,\n        2\n    );\n    Name = \"two words\";\n"
              "    On = 1;\n    Raw = <0102>;\n}");
    EXPECT_EQ(PropertyListWriter::openStepText(QVariantMap()), "{\n}");
}

TEST(PropertyListWriter, XmlDocumentHoldsTypedValues)
{
    const QByteArray xml = PropertyListWriter::xmlData(QVariantMap{{"n", qint64(3)}, {"s", "a<b"}, {"t", true}});
    EXPECT_TRUE(xml.contains("<plist version=\"1.0\">"));
    EXPECT_TRUE(xml.contains("<key>n</key>"));
    EXPECT_TRUE(xml.contains("<integer>3</integer>"));
    EXPECT_TRUE(xml.contains("<string>a&lt;b</string>"));
    EXPECT_TRUE(xml.contains("<true/>"));
}

TEST(AlertPanel, ClosingThePanelNeverChoosesTheAlternateButton)
{
    const auto closeWithEscape = [](const AlertPanel::Alert &alert) {
        QTimer::singleShot(0, [] {
            if (QWidget *panel = QApplication::activeModalWidget())
                QTest::keyClick(panel, Qt::Key_Escape);
        });
        return AlertPanel::run(alert);
    };
    EXPECT_EQ(closeWithEscape({"Delete all data?", "Sure?", "Cancel", "Delete", {}}), AlertPanel::Response::Default);
    EXPECT_EQ(closeWithEscape({"Share?", "May we?", "Allow", "Disallow", "Decide Later"}), AlertPanel::Response::Other);
}

TEST(AlertPanel, AlertFromTheNetworkWaitsForTheOpenQuestion)
{
    QList<QString> order;
    // Someone who answers whatever panel is open, a little after it opened.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (QWidget *panel = QApplication::activeModalWidget())
            QTest::keyClick(panel, Qt::Key_Escape);
    });
    answerer.start(100);
    QTimer::singleShot(0, [&order] {
        // A reply arriving while the user is still answering the first panel.
        AlertPanel::runWhenNoneOpen({"New Version", "Newer", "Cancel", {}, {}},
                                    [&order](AlertPanel::Response) { order << "second answered"; });
        order << "second queued";
    });
    AlertPanel::run({"Share?", "May we?", "Allow", "Disallow", "Decide Later"});
    order << "first answered";
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 3, 5000);
    EXPECT_EQ(order, (QList<QString>{"second queued", "first answered", "second answered"}));
}
