// The Battery Data page (the snapshot as text) and the value transformers of the snapshot's fields.
#include "CWBattInfoVC.h"
#include "CWBatteryMonitor.h"
#include "CWBoolToYesNo.h"
#include "CWNSDataToASCII.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

TEST(BatteryDataPage, ShowsTheSummaryOfWhenItWasShownOrRefreshed)
{
    ScopedDataHome home;
    ScopedFakeBattery battery(std::nullopt);
    CWBatteryMonitor monitor;
    const auto tick = [&](qint64 capacity) {
        battery->next = QVariantMap{{u"CurrentCapacity"_s, capacity}, {u"Voltage"_s, qint64(12000)}};
        monitor.tick();
    };
    CWBattInfoVC page(u"CWBattInfoVC"_s, monitor);
    const auto shows = [&page](qint64 capacity) {
        return page.textView()->toPlainText().contains(u"CurrentCapacity = %1;"_s.arg(capacity));
    };
    page.view();
    tick(3001);
    page.activate();
    EXPECT_TRUE(shows(3001));
    EXPECT_TRUE(page.textView()->isReadOnly());
    EXPECT_EQ(page.timestamp()->text(),
              u"Sample Taken: "_s + monitor.lastUpdated().toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s));

    tick(3002);
    EXPECT_TRUE(shows(3001)) << "a snapshot, not a live view";
    page.deactivate();
    page.activate();
    EXPECT_TRUE(shows(3002));
    tick(3003);
    QTest::mouseClick(page.view()->findChild<QPushButton *>(u"refreshButton"_s), Qt::LeftButton);
    EXPECT_TRUE(shows(3003));
}

TEST(ValueTransformers, BoolToYesNoAnswersOnlyForNumbersAndDataToASCIIRoundTrips)
{
    const CWBoolToYesNo yesNo;
    const std::pair<QVariant, const char *> rows[] = {{2, "Yes"},  {true, "Yes"}, {qint64(0), "No"},
                                                      {0.0, "No"}, {u"1"_s, "?"}, {QVariant(), "?"}};
    for (const auto &[value, text] : rows)
        EXPECT_EQ(yesNo.transformedValue(value), QVariant(QLatin1String(text))) << value.toString().toStdString();
    EXPECT_FALSE(yesNo.allowsReverseTransformation());

    const CWNSDataToASCII ascii;
    EXPECT_EQ(ascii.transformedValue(QByteArray("abc")), QVariant(u"abc"_s));
    EXPECT_EQ(ascii.reverseTransformedValue(u"abc"_s).toByteArray(), QByteArray("abc")) << "no terminating zero byte";
    EXPECT_FALSE(ascii.transformedValue(QVariant()).isValid());
}
