// The preferences window: the log's maintenance buttons and the controls bound to user defaults.
#include "CWPrefsWC.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>

namespace {

class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (qint64 voltage : {12000, 12010, 12020})
            log->logBattDict({{u"Voltage"_s, voltage}});
        log->logEvent(CWEventType::PluggedIn);
    }
    QStringList column(const char *sql) { return LogFile(CWLog::sharedLogFile()).column(QLatin1String(sql)); }
    template <typename Control>
    Control *control(const char *name)
    {
        return prefs.window()->findChild<Control *>(QLatin1String(name));
    }

    ScopedDefaults appDefaults;
    FakeUser user;
    ScopedDataHome home;
    CWLog *log = CWLog::sharedLog();
    CWPrefsWC prefs{log};
};

} // namespace

TEST_F(PrefsTest, DeletingAllDataAsksFirstAndKeepsTheEvents)
{
    QTest::mouseClick(control<QPushButton>("clearAllLogsButton"), Qt::LeftButton);
    ASSERT_EQ(user.alerts.size(), 1);
    EXPECT_EQ(user.alerts[0].title, u"Delete all data?"_s);
    EXPECT_EQ(column("SELECT count(*) FROM battlog"), QStringList{u"3"_s}) << "Cancel keeps everything";
    user.answer = AlertPanel::Response::Alternate;
    QTest::mouseClick(control<QPushButton>("clearAllLogsButton"), Qt::LeftButton);
    EXPECT_EQ(column("SELECT count(*) FROM battlog"), QStringList{u"0"_s});
    EXPECT_EQ(column("SELECT eventtype FROM eventlog"), QStringList{u"3"_s});
}

TEST_F(PrefsTest, ReIndexingReclassifiesEverySampleWithoutAsking)
{
    log->signifyMissing();
    log->logBattDict({{u"Voltage"_s, qint64(12030)}});
    prefs.reIndexLog();
    EXPECT_EQ(column("SELECT significance FROM battlog ORDER BY testidx"),
              QStringList({u"4"_s, u"1"_s, u"1"_s, u"1"_s}))
        << "one sequence from the first sample";
    EXPECT_TRUE(user.alerts.isEmpty());
}

TEST_F(PrefsTest, ControlsFollowAndWriteTheirDefaultsWithoutStoringTheDefaultsShown)
{
    auto *temperature = control<QComboBox>("temperatureUnit");
    EXPECT_EQ(temperature->currentText(), u"Degrees Celsius"_s);
    temperature->setCurrentIndex(temperature->findData(3));
    Q_EMIT temperature->activated(temperature->currentIndex());
    EXPECT_EQ(UserDefaults::standard().integerForKey(u"CWDefaultTemperatureUnit"_s), 3);
    UserDefaults::standard().setBool(u"CWEventLogShowBattData"_s, false);
    EXPECT_FALSE(control<QCheckBox>("eventLogShowBattData")->isChecked()) << "a change made elsewhere shows";
    control<QDoubleSpinBox>("maxAH")->setValue(0.0);
    EXPECT_GT(UserDefaults::standard().doubleForKey(u"CWMaxAH"_s), 0.0) << "the capacity scale never reaches 0";
    EXPECT_GT(control<QDoubleSpinBox>("voltsSpread")->minimum(), 0.0);

    UserDefaults::standard().removeObjectForKey(u"CWMaxAH"_s);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("maxAH")->value(), 8.0);
    UserDefaults::standard().registerDefaults({{u"CWMaxAH"_s, 9.0}});
    EXPECT_DOUBLE_EQ(UserDefaults::standard().doubleForKey(u"CWMaxAH"_s), 9.0)
        << "still the registered value, not a stored 8";
}
