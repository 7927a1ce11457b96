// End to end: the application against the real cellwise-server on loopback, with other machines
// registered and uploading first.
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWComparisonsVC.h"
#include "CWShadowTextField.h"
#include "LXConnection.h"
#include "ServerProcess.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QComboBox>
#include <QCoreApplication>

namespace {

// Registers a machine of the model and uploads one sample from it, as another user's Cellwise would.
void addMachine(const QString &serverURL, const QString &modelCode, qint64 capacity, qint64 millivolts, qint64 cycles)
{
    LXConnection registration(serverURL + u"/cellw_register_machine.php"_s, {{u"CELLW_MODELCODE"_s, modelCode}});
    registration.executeSynchronous(true);
    ASSERT_EQ(registration.statusCode(), 200) << registration.urlError().toStdString();
    LXConnection upload(serverURL + u"/cellw_logbatt.php"_s,
                        {{u"CELLW_MACHINECODE"_s, registration.returnedString().trimmed()},
                         {u"CELLW_CAPACITY"_s, QString::number(capacity)},
                         {u"CELLW_VOLTAGE"_s, QString::number(millivolts)},
                         {u"CELLW_DESIGNCAP"_s, u"5500"_s},
                         {u"CELLW_CYCLECOUNT"_s, QString::number(cycles)}});
    upload.executeSynchronous(true);
    ASSERT_EQ(upload.returnedString(), u"ok\n"_s);
}

// The server recomputes its averages every second here: waits up to 10 s for a model whose smallest
// capacity is minCapacity.
bool averagesShow(const QString &serverURL, qint64 minCapacity)
{
    for (int attempt = 0; attempt < 100; QTest::qWait(100), ++attempt) {
        LXConnection averages(serverURL + u"/cellw_averages_2.php"_s, {});
        averages.executeSynchronous(true);
        for (const QVariant &record : averages.returnedData().toList()) {
            if (record.toMap().value(u"min_capacity"_s).toLongLong() == minCapacity)
                return true;
        }
    }
    return false;
}

class StatisticsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(url.isEmpty()) << server.errors().toStdString();
        QCoreApplication::setApplicationVersion(u"0.1.0"_s);
        UserDefaults::standard().setBool(u"CWAskedAboutSendBattDataToServer"_s, true);
        UserDefaults::standard().setBool(u"CWSendBattDataToServer"_s, true);
        user.answer = AlertPanel::Response::Alternate;
    }
    void TearDown() override
    {
        delegate.applicationWillTerminate();
        QCoreApplication::setApplicationVersion({});
    }

    // One run of the application with the battery holding `charge` mAh of 4000, up to the end of
    // its server chain; the figures the server sent back for the own model.
    QVariantMap run(qint64 charge)
    {
        battery->next = QVariantMap{{u"BatteryInstalled"_s, true},       {u"ExternalConnected"_s, true},
                                    {u"MaxCapacity"_s, qint64(4000)},    {u"CurrentCapacity"_s, charge},
                                    {u"DesignCapacity"_s, qint64(5500)}, {u"Voltage"_s, qint64(12600)},
                                    {u"CycleCount"_s, qint64(20)},       {u"InstantAmperage"_s, qint64(500)}};
        CWLog::resetSharedLog();
        delegate.applicationDidFinishLaunching();
        EXPECT_TRUE(serverChainEnds());
        delegate.applicationWillTerminate();
        for (const QVariant &model : delegate.pbdb()) {
            if (model.toMap().value(u"code"_s) == u"MacBookPro11,1"_s)
                return model.toMap().value(u"battData"_s).toMap();
        }
        return {};
    }

    QTemporaryDir serverData;
    ServerProcess server{{u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s, serverData.path() + u"/server.sqlite"_s,
                          u"--refresh-seconds"_s, u"1"_s, u"--current-version"_s, u"0.2.0"_s, u"--product-page"_s,
                          u"https://example.org/cellwise"_s}};
    const QString url = server.url();
    ScopedEnv serverURL{"CELLWISE_SERVER", url.toUtf8()};
    ScopedDefaults appDefaults;
    FakeUser user;
    ScopedDataHome home;
    ScopedFakeBattery battery{std::nullopt};
    CWAppDelegate delegate;
};

} // namespace

TEST_F(StatisticsEndToEnd, TheComparisonsPageShowsWhatTheServerComputedFromEveryonesUploads)
{
    addMachine(url, u"MacBookPro11,1"_s, 5000, 12300, 100);
    addMachine(url, u"MacBookPro11,1"_s, 4800, 12500, 300);
    addMachine(url, u"MacBookPro11,1"_s, 5200, 12400, 50);
    addMachine(url, u"MacBookAir6,2"_s, 7000, 7600, 10);
    ASSERT_TRUE(averagesShow(url, 4800));

    // The first run registers; its first sample went up before it had an ID, so it does not count.
    const QVariantMap figures = run(3000);
    const qint64 machineID = CWBatteryMonitor::sharedMonitor()->machineID();
    EXPECT_GT(machineID, 0);
    EXPECT_EQ(figures.value(u"med_capacity"_s), 5000);

    // The page shows the server's figures for this model, and none for a model with too few machines.
    CWComparisonsVC page(u"CWComparisonsVC"_s, *CWBatteryMonitor::sharedMonitor(), [this] { return delegate.pbdb(); });
    page.view();
    page.activate();
    const auto field = [&page](const char *name) {
        return page.view()->findChild<CWShadowTextField *>(QLatin1String(name))->text();
    };
    EXPECT_EQ(QStringList({field("minCapacity"), field("medCapacity"), field("maxCapacity"), field("medVoltage"),
                           field("maxCycleCount")}),
              QStringList({u"4800 mAh"_s, u"5000 mAh"_s, u"5200 mAh"_s, u"12.4 V"_s, u"300 cycles"_s}));
    QComboBox *models = page.view()->findChild<QComboBox *>(u"models"_s);
    const int airItem = models->currentIndex() == 0 ? 1 : 0;
    models->setCurrentIndex(airItem);
    Q_EMIT models->activated(airItem);
    EXPECT_EQ(field("medCapacity"), QString()) << "too few machines of that model";

    // The version check offered the newer version, and "Visit Website" opened its page.
    ASSERT_EQ(user.alerts.size(), 1);
    EXPECT_EQ(user.alerts[0].title, u"New Version"_s);
    EXPECT_EQ(user.opened, QList<QUrl>{QUrl(u"https://example.org/cellwise"_s)});

    // Later runs upload with the machine's ID and do not register again; the third sees the second's vote.
    run(3100);
    ASSERT_TRUE(averagesShow(url, 4000));
    EXPECT_EQ(run(3200).value(u"med_capacity"_s), 4900);
    EXPECT_EQ(CWBatteryMonitor::sharedMonitor()->machineID(), machineID);

    server.process().terminate(); // SIGTERM
    EXPECT_EQ(server.finish(), 0) << server.errors().toStdString();
}
