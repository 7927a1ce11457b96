#include "BatteryRegistry.h"
#include "CWBattInfoVC.h"
#include "CWBatteryMonitor.h"
#include "CWBoolToYesNo.h"
#include "CWNSDataToASCII.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class FakeRegistry : public BatteryRegistry {
public:
    QVariantMap next;
    std::optional<QVariantMap> copyBatteryProperties() override { return next; }
    bool hasBatteryEntry() override { return true; }
    QString modelCode() override { return QStringLiteral("MacBookPro11,1"); }
};

class BatteryDataPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto fake = std::make_unique<FakeRegistry>();
        registry = fake.get();
        BatteryRegistry::install(std::move(fake));
    }
    void TearDown() override { BatteryRegistry::install(nullptr); }

    void tick(qint64 capacity)
    {
        registry->next = {{"CurrentCapacity", capacity}, {"Voltage", qint64(12000)}, {"Temperature", qint64(3031)}};
        monitor.tick();
    }

    ScopedDataHome home;
    FakeRegistry *registry = nullptr;
    CWBatteryMonitor monitor;
};

} // namespace

TEST_F(BatteryDataPage, ShowsTheNewerSummaryWhenSelectedAgain)
{
    CWBattInfoVC page(QStringLiteral("CWBattInfoVC"), monitor);
    page.view();
    tick(3001);
    page.activate();
    EXPECT_TRUE(page.textView()->toPlainText().contains("CurrentCapacity = 3001;"));

    tick(3002);
    EXPECT_FALSE(page.textView()->toPlainText().contains("3002")) << "the page is a snapshot, not a live view";
    page.deactivate();
    page.activate();
    EXPECT_TRUE(page.textView()->toPlainText().contains("CurrentCapacity = 3002;"));
    EXPECT_TRUE(page.textView()->isReadOnly());

    const QString taken = monitor.lastUpdated().toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(page.timestamp()->text(), "Sample Taken: " + taken);
}

TEST_F(BatteryDataPage, RefreshButtonReadsTheMonitorAgain)
{
    CWBattInfoVC page(QStringLiteral("CWBattInfoVC"), monitor);
    page.view();
    tick(2500);
    page.activate();
    tick(2400);
    QTest::mouseClick(page.view()->findChild<QPushButton *>("refreshButton"), Qt::LeftButton);
    EXPECT_TRUE(page.textView()->toPlainText().contains("CurrentCapacity = 2400;"));
}

TEST(ValueTransformers, AreFoundByTheirClassNamesOnceInitialized)
{
    EXPECT_EQ(ValueTransformer::valueTransformerForName("CWBoolToYesNo"), nullptr);
    CWBoolToYesNo::initialize();
    CWNSDataToASCII::initialize();
    ValueTransformer *yesNo = ValueTransformer::valueTransformerForName("CWBoolToYesNo");
    ASSERT_NE(yesNo, nullptr);
    CWBoolToYesNo::initialize();
    EXPECT_EQ(ValueTransformer::valueTransformerForName("CWBoolToYesNo"), yesNo) << "registered once";
    EXPECT_NE(ValueTransformer::valueTransformerForName("CWNSDataToASCII"), nullptr);
}

TEST(ValueTransformers, BoolToYesNoAnswersOnlyForNumbers)
{
    const CWBoolToYesNo transformer;
    EXPECT_EQ(transformer.transformedValue(QVariant(2)), "Yes");
    EXPECT_EQ(transformer.transformedValue(QVariant(true)), "Yes");
    EXPECT_EQ(transformer.transformedValue(QVariant(qint64(0))), "No");
    EXPECT_EQ(transformer.transformedValue(QVariant(0.0)), "No");
    EXPECT_EQ(transformer.transformedValue(QVariant(QStringLiteral("1"))), "?");
    EXPECT_EQ(transformer.transformedValue(QVariant()), "?");
    EXPECT_FALSE(transformer.allowsReverseTransformation());
}

TEST(ValueTransformers, DataToASCIIRoundTrips)
{
    const CWNSDataToASCII transformer;
    EXPECT_TRUE(transformer.allowsReverseTransformation());
    const QVariant text = transformer.transformedValue(QByteArray("abc"));
    EXPECT_EQ(text, QVariant(QStringLiteral("abc")));
    const QByteArray bytes = transformer.reverseTransformedValue(text).toByteArray();
    EXPECT_EQ(bytes, QByteArray("abc"));
    EXPECT_EQ(bytes.size(), 3) << "no terminating zero byte";
    EXPECT_FALSE(transformer.transformedValue(QVariant()).isValid());
}
