// The platform stand-ins: notifications, subscriptions, user defaults, the console and alert panels.
#include "Console.h"
#include "NotificationCenter.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QTimer>

TEST(NotificationCenter, DeliversByNameAndSender)
{
    NotificationCenter center;
    QStringList calls;
    const int senderA = 0, senderB = 0;
    const Subscription subscriptions[] = {
        center.addObserver(u"N"_s, &senderA, [&](const Notification &) { calls << u"a"_s; }),
        center.addObserver(u"N"_s, &senderB, [&](const Notification &) { calls << u"b"_s; }),
        center.addObserver(u"N"_s, nullptr, [&](const Notification &) { calls << u"any"_s; }),
    };
    center.post(u"N"_s, &senderA);
    center.post(u"Other"_s, &senderA);
    EXPECT_EQ(calls, QStringList({u"a"_s, u"any"_s}));
}

// Every way a subscription ends: the observer is not called again, whoever ended it and when.
TEST(Subscription, AnObserverWhoseSubscriptionEndedIsNeverCalled)
{
    auto center = std::make_unique<NotificationCenter>();
    int calls = 0;
    const auto counting = [&](const Notification &) { ++calls; };
    Subscription second;
    const Subscription first = center->addObserver(u"N"_s, nullptr, [&](const Notification &) { second.reset(); });
    second = center->addObserver(u"N"_s, nullptr, counting);
    center->post(u"N"_s, nullptr);
    EXPECT_EQ(calls, 0) << "ended by an earlier observer of the same post";

    Subscription self = center->addObserver(u"N"_s, nullptr, [&](const Notification &) {
        ++calls;
        self.reset();
    });
    center->post(u"N"_s, nullptr);
    center->post(u"N"_s, nullptr);
    EXPECT_EQ(calls, 1) << "an observer that ends its own subscription is called once";

    auto owner = std::make_unique<Subscription>(center->addObserver(u"N"_s, nullptr, counting));
    Subscription kept = center->addObserver(u"N"_s, nullptr, counting);
    kept = center->addObserver(u"Other"_s, nullptr, counting);
    owner.reset();
    center->post(u"N"_s, nullptr);
    EXPECT_EQ(calls, 1) << "a destroyed owner's and a replaced subscription's observers are gone";
    center.reset();
    kept.reset(); // the source went first: nothing left to do, nothing to crash
}

TEST(UserDefaults, RegisteredValuesAnswerUntilTheUserSetsOneAndChangesAreObserved)
{
    UserDefaults &defaults = UserDefaults::standard();
    defaults.clearAll();
    defaults.registerDefaults({{u"CWMaxAH"_s, 8.0}});
    int changes = 0;
    Subscription observation = defaults.addObserver(u"values.CWMaxAH"_s, [&] { ++changes; });
    defaults.setDouble(u"CWMaxAH"_s, 6.5);
    defaults.setDouble(u"CWMaxAH"_s, 6.5);
    EXPECT_EQ(std::pair(defaults.doubleForKey(u"CWMaxAH"_s), changes), std::pair(6.5, 1))
        << "the same value is no change";
    defaults.removeObjectForKey(u"CWMaxAH"_s);
    EXPECT_EQ(std::pair(defaults.doubleForKey(u"CWMaxAH"_s), changes), std::pair(8.0, 2));
    observation.reset();
    defaults.setDouble(u"CWMaxAH"_s, 7.0);
    EXPECT_EQ(changes, 2) << "no call once the subscription ended";
    defaults.clearAll();
}

TEST(Console, SinkCapturesLinesAndQtMessagesWithoutTrailingNewline)
{
    ConsoleCapture capture;
    Console::line(u"Can't open database: disk I/O error\n"_s);
    Console::routeQtMessages();
    qWarning("QPainter::begin: Paint device returned engine == 0");
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(capture.lines(), QStringList({u"Can't open database: disk I/O error"_s,
                                            u"QPainter::begin: Paint device returned engine == 0"_s}));
}

TEST(AlertPanel, ClosingThePanelNeverChoosesTheAlternateButtonAndANetworkAlertWaitsForTheOpenQuestion)
{
    const auto closeWithEscape = [](const AlertPanel::Alert &alert) {
        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        return AlertPanel::run(alert);
    };
    EXPECT_EQ(closeWithEscape({u"Delete all data?"_s, u"Sure?"_s, u"Cancel"_s, u"Delete"_s, {}}),
              AlertPanel::Response::Default);
    EXPECT_EQ(closeWithEscape({u"Share?"_s, u"May we?"_s, u"Allow"_s, u"Disallow"_s, u"Decide Later"_s}),
              AlertPanel::Response::Other);

    QStringList order;
    QTimer answerer; // someone who answers whatever panel is open, a little after it opened
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (QWidget *panel = QApplication::activeModalWidget())
            QTest::keyClick(panel, Qt::Key_Escape);
    });
    answerer.start(100);
    QTimer::singleShot(0, [&order] { // a reply arriving while the user is still answering the first panel
        AlertPanel::runWhenNoneOpen({u"New Version"_s, u"Newer"_s, u"Cancel"_s, {}, {}},
                                    [&order](AlertPanel::Response) { order << u"second answered"_s; });
        order << u"second queued"_s;
    });
    AlertPanel::run({u"Share?"_s, u"May we?"_s, u"Allow"_s, u"Disallow"_s, u"Decide Later"_s});
    order << u"first answered"_s;
    EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() == 3; }, 5000));
    EXPECT_EQ(order, QStringList({u"second queued"_s, u"first answered"_s, u"second answered"_s}));
}
