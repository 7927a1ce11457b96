#include "AlertPanel.h"
#include "CWAppDelegate.h"
#include "CWLog.h"
#include "CWPrefsWC.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::standard().clearAll();
        CWAppDelegate::registerDefaults();
        ASSERT_NE(log, nullptr);
        for (qint64 voltage : {12000, 12010, 12020})
            log->logBattDict({{"Voltage", voltage}});
        log->logEvent(CWEventType::PluggedIn);
        AlertPanel::setResponder([this](const AlertPanel::Alert &alert) {
            asked << alert.title;
            return answer;
        });
    }
    void TearDown() override
    {
        AlertPanel::setResponder({});
        UserDefaults::standard().clearAll();
    }

    qsizetype samples() const
    {
        const CWLogResult rows = log->battLogEntriesAboveIndex(0, {"testidx"});
        return rows ? rows->value("testidx").size() : 0;
    }
    template <typename Control>
    Control *control(const char *name)
    {
        return prefs.window()->findChild<Control *>(QString::fromLatin1(name));
    }

    ScopedDataHome home;
    CWLog *log = CWLog::sharedLog();
    CWPrefsWC prefs{log};
    AlertPanel::Response answer = AlertPanel::Response::Default;
    QStringList asked;
};

} // namespace

TEST_F(PrefsTest, CancellingTheDeletionKeepsEverything)
{
    answer = AlertPanel::Response::Default;
    QTest::mouseClick(control<QPushButton>("clearAllLogsButton"), Qt::LeftButton);
    EXPECT_EQ(asked, QStringList{"Delete all data?"});
    EXPECT_EQ(samples(), 3);
}

TEST_F(PrefsTest, DeletingRemovesSamplesButKeepsEvents)
{
    answer = AlertPanel::Response::Alternate;
    prefs.clearAllLogs();
    EXPECT_EQ(samples(), 0);
    const CWLogResult events = log->eventLogEntriesAboveIndex(0);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->value("eventtype"), QStringList{"3"});
}

TEST_F(PrefsTest, ReIndexingReclassifiesEverySample)
{
    log->signifyMissing();
    log->logBattDict({{"Voltage", qint64(12030)}});
    prefs.reIndexLog();
    const CWLogResult anchors = log->battLogEntriesFrom({}, {}, {"testidx"}, CWSignificance::HourAnchor, false);
    const CWLogResult others = log->battLogEntriesFrom({}, {}, {"testidx"}, CWSignificance::Other, false);
    ASSERT_TRUE(anchors && others);
    EXPECT_EQ(anchors->value("testidx"), QStringList{"1"}) << "one sequence from the first sample";
    EXPECT_EQ(others->value("testidx"), (QStringList{"2", "3", "4"}));
    EXPECT_TRUE(asked.isEmpty()) << "no confirmation";
}

TEST_F(PrefsTest, ControlsFollowAndWriteTheirDefaults)
{
    auto *temperature = control<QComboBox>("temperatureUnit");
    ASSERT_NE(temperature, nullptr);
    EXPECT_EQ(temperature->currentText(), "Degrees Celsius");
    temperature->setCurrentIndex(temperature->findData(3));
    Q_EMIT temperature->activated(temperature->currentIndex());
    EXPECT_EQ(UserDefaults::standard().integerForKey("CWDefaultTemperatureUnit"), 3);

    auto *readings = control<QCheckBox>("eventLogShowBattData");
    EXPECT_TRUE(readings->isChecked());
    UserDefaults::standard().setBool("CWEventLogShowBattData", false);
    EXPECT_FALSE(readings->isChecked()) << "a change made elsewhere shows";

    auto *maxAH = control<QDoubleSpinBox>("maxAH");
    EXPECT_DOUBLE_EQ(maxAH->value(), 8.0);
    maxAH->setValue(0.0);
    EXPECT_GT(UserDefaults::standard().doubleForKey("CWMaxAH"), 0.0) << "the capacity scale never reaches 0";
    EXPECT_GT(control<QDoubleSpinBox>("voltsSpread")->minimum(), 0.0);
}

TEST_F(PrefsTest, ShowingADefaultDoesNotStoreIt)
{
    prefs.window();
    UserDefaults::standard().setDouble("CWMaxAH", 5.0);
    UserDefaults::standard().removeObjectForKey("CWMaxAH");
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("maxAH")->value(), 8.0);
    UserDefaults::standard().registerDefaults({{"CWMaxAH", 9.0}});
    EXPECT_DOUBLE_EQ(UserDefaults::standard().doubleForKey("CWMaxAH"), 9.0) << "still the registered value, not a stored 8";
}
