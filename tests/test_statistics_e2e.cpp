// End to end: the application against the real cellwise-server on loopback, with other machines
// registered and uploading first.
#include "AlertPanel.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWComparisonsVC.h"
#include "CWLog.h"
#include "CWShadowTextField.h"
#include "HttpTestServer.h"
#include "LXConnection.h"
#include "TestSupport.h"
#include "UrlOpener.h"
#include "UserDefaults.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTest>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// cellwise-server on a free loopback port, killed when the test ends.
class ServerProcess {
public:
    explicit ServerProcess(const QStringList &options)
    {
        _process.start(QStringLiteral(CELLWISE_SERVER_EXECUTABLE),
                       QStringList{"--listen", "127.0.0.1:0", "--db", _dir.path() + "/server.sqlite"} + options);
    }
    ~ServerProcess()
    {
        _process.kill();
        _process.waitForFinished(5000);
    }

    // From the line the server writes once it listens; empty when it did not within 10 s.
    QString url()
    {
        static const QRegularExpression serving(QStringLiteral("serving (http://127\\.0\\.0\\.1:\\d+) "));
        QByteArray output;
        for (int i = 0; i < 100; ++i) {
            output += _process.readAllStandardError();
            if (const QRegularExpressionMatch match = serving.match(QString::fromUtf8(output)); match.hasMatch())
                return match.captured(1);
            _process.waitForReadyRead(100);
        }
        return {};
    }

private:
    QTemporaryDir _dir;
    QProcess _process;
};

struct Figures {
    qint64 capacity, designCapacity, voltage, cycleCount;
};

// Registers a machine of the model and uploads one sample from it, as another user's Cellwise would.
void addMachine(const QString &serverURL, const QString &modelCode, const Figures &figures)
{
    LXConnection registration(serverURL + "/cellw_register_machine.php", {{"CELLW_MODELCODE", modelCode}});
    registration.executeSynchronous(true);
    ASSERT_EQ(registration.statusCode(), 200) << registration.urlError().toStdString();
    LXConnection upload(serverURL + "/cellw_logbatt.php",
                        {{"CELLW_MACHINECODE", registration.returnedString().trimmed()},
                         {"CELLW_CAPACITY", QString::number(figures.capacity)},
                         {"CELLW_CURRENT", "1000"},
                         {"CELLW_AMPERAGE", "-900"},
                         {"CELLW_VOLTAGE", QString::number(figures.voltage)},
                         {"CELLW_DESIGNCAP", QString::number(figures.designCapacity)},
                         {"CELLW_CYCLECOUNT", QString::number(figures.cycleCount)},
                         {"CELLW_FLAGS", "11111"}});
    upload.executeSynchronous(true);
    ASSERT_EQ(upload.returnedString(), "ok\n");
}

QVariantMap modelWithCode(const QVariantList &pbdb, const QString &code)
{
    for (const QVariant &model : pbdb) {
        if (model.toMap().value("code") == code)
            return model.toMap();
    }
    return {};
}

class StatisticsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousServer = qgetenv("CELLWISE_SERVER");
        QCoreApplication::setApplicationVersion("0.1.0");
        UserDefaults::standard().clearAll();
        CWAppDelegate::registerDefaults();
        UserDefaults::standard().setBool("CWAskedAboutSendBattDataToServer", true);
        UserDefaults::standard().setBool("CWSendBattDataToServer", true);
        AlertPanel::setResponder([this](const AlertPanel::Alert &alert) {
            alerts << alert;
            return AlertPanel::Response::Alternate;
        });
        UrlOpener::setHandler([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override
    {
        delegate.applicationWillTerminate();
        AlertPanel::setResponder({});
        UrlOpener::setHandler({});
        UserDefaults::standard().clearAll();
        QCoreApplication::setApplicationVersion({});
        qputenv("CELLWISE_SERVER", previousServer);
    }

    // One run of the application with the battery reading capacity mAh at full charge, up to the end
    // of its server chain.
    void run(qint64 capacity, qint64 charge)
    {
        battery->next = QVariantMap{{"BatteryInstalled", true}, {"ExternalConnected", true},
                                    {"MaxCapacity", capacity}, {"CurrentCapacity", charge},
                                    {"DesignCapacity", qint64(5500)}, {"Voltage", qint64(12600)},
                                    {"CycleCount", qint64(20)}, {"InstantAmperage", qint64(500)}};
        CWLog::resetSharedLog();
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(serverChainEnds());
        delegate.applicationWillTerminate();
    }

    ScopedDataHome home;
    ScopedFakeBattery battery{std::nullopt};
    CWAppDelegate delegate;
    QList<AlertPanel::Alert> alerts;
    QList<QUrl> opened;
    QByteArray previousServer;
};

} // namespace

TEST_F(StatisticsEndToEnd, TheModelListHoldsTheFiguresTheServerComputed)
{
    ServerProcess server({"--min-machines", "3", "--current-version", "0.2.0", "--product-page",
                          "https://example.org/cellwise"});
    const QString url = server.url();
    ASSERT_FALSE(url.isEmpty());
    qputenv("CELLWISE_SERVER", url.toUtf8());
    addMachine(url, "MacBookPro11,1", {5000, 5500, 12300, 100});
    addMachine(url, "MacBookPro11,1", {4800, 5500, 12500, 300});
    addMachine(url, "MacBookPro11,1", {5200, 5500, 12400, 50});
    addMachine(url, "MacBookAir6,2", {7000, 7150, 7600, 10});

    // First run: registers (its first sample went up before it had an ID, so it does not count yet).
    run(4000, 3000);
    const qint64 machineID = CWBatteryMonitor::sharedMonitor()->machineID();
    EXPECT_GT(machineID, 0);
    QVariantMap own = modelWithCode(delegate.pbdb(), "MacBookPro11,1");
    ASSERT_FALSE(own.isEmpty());
    EXPECT_FALSE(own.value("name").toString().isEmpty());
    QVariantMap figures = own.value("battData").toMap();
    EXPECT_EQ(figures.value("status"), "ok");
    EXPECT_EQ(figures.value("min_capacity").toLongLong(), 4800);
    EXPECT_EQ(figures.value("med_capacity").toLongLong(), 5000);
    EXPECT_EQ(figures.value("max_capacity").toLongLong(), 5200);
    EXPECT_EQ(figures.value("med_volts").toLongLong(), 12400);
    EXPECT_EQ(figures.value("max_cyclecount").toLongLong(), 300);
    const QVariantMap air = modelWithCode(delegate.pbdb(), "MacBookAir6,2").value("battData").toMap();
    EXPECT_EQ(air.value("status"), "toosmall");
    EXPECT_FALSE(air.contains("med_capacity"));

    // The Comparisons page shows the figures the server computed for this model, and none for a
    // model with too few machines.
    CWComparisonsVC page(QStringLiteral("CWComparisonsVC"), *CWBatteryMonitor::sharedMonitor(),
                         [this] { return delegate.pbdb(); });
    page.view();
    page.activate();
    const auto field = [&page](const char *name) { return page.view()->findChild<CWShadowTextField *>(name)->text(); };
    EXPECT_EQ(QStringList({field("minCapacity"), field("medCapacity"), field("maxCapacity")}),
              QStringList({"4800 mAh", "5000 mAh", "5200 mAh"}));
    EXPECT_EQ(field("medVoltage"), "12.4 V");
    EXPECT_EQ(field("maxCycleCount"), "300 cycles");
    QComboBox *models = page.view()->findChild<QComboBox *>("models");
    const int airItem = models->findText(own.value("name").toString()) == 0 ? 1 : 0;
    models->setCurrentIndex(airItem);
    Q_EMIT models->activated(airItem);
    EXPECT_EQ(field("medCapacity"), "") << "too few machines of that model";
    EXPECT_EQ(field("yourCapacity"), "3000 mAh") << "the own values stay";

    // The version check offered the newer version, and "Visit Website" opened its page.
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().title, "New Version");
    EXPECT_TRUE(alerts.first().message.endsWith("Your version: 0.1.0\nCurrent Version: 0.2.0"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://example.org/cellwise")});

    // Later runs upload with the machine's ID and no longer register; the third sees the second's vote.
    run(4000, 3100);
    run(4000, 3200);
    EXPECT_EQ(CWBatteryMonitor::sharedMonitor()->machineID(), machineID);
    figures = modelWithCode(delegate.pbdb(), "MacBookPro11,1").value("battData").toMap();
    EXPECT_EQ(figures.value("min_capacity").toLongLong(), 4000);
    EXPECT_EQ(figures.value("med_capacity").toLongLong(), 4900);
    EXPECT_EQ(figures.value("med_cyclecount").toLongLong(), 75);
}
