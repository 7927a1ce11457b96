// The history as CSV: exact bytes of a small log, a range cut at both ends, steps over a long log.
#include "CWExportCommand.h"
#include "CWHistoryExport.h"
#include "TestSupport.h"

#include <QBuffer>

using namespace Qt::StringLiterals;

namespace {

// 2024-03-01 and 2024-03-02 whole, at UTC+2: 1709244000 ... 1709416799.
constexpr qint64 kFirstSecond = 1709244000;
constexpr qint64 kLastSecond = 1709416799;

class HistoryExportTest : public LogTest {
protected:
    QByteArray exported(CWHistoryExport::Table table, QDate from = {}, QDate to = {})
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        CWHistoryExport exporter(*log, buffer, table, from, to);
        CWHistoryExport::Step step;
        while ((step = exporter.writeStep()) == CWHistoryExport::Step::More) {
        }
        EXPECT_EQ(step, CWHistoryExport::Step::Done);
        return buffer.data();
    }

    // A fixed zone without daylight saving: the local times below do not depend on the machine.
    ScopedEnv _zone{"TZ", "XST-2"};
};

} // namespace

TEST_F(HistoryExportTest, SamplesAreQuotedByRfc4180WithNullsEmptyAndTheRangeCutAtBothEnds)
{
    LogFile file(path());
    for (qint64 time : {kFirstSecond - 1, kFirstSecond, kLastSecond, kLastSecond + 1})
        file.exec(QString::asprintf("INSERT INTO battlog (time, CellVoltage, DeviceName, Manufacturer, Voltage) "
                                    "VALUES (%lld, '4100,4101', 'Pack \"A\", 2', '', 12345)",
                                    time));
    // Between the filled columns (the 8th, 14th, 24th and 32nd) stand NULLs.
    const auto commas = [](int count) { return QByteArray(count, ','); };
    const QByteArray values = commas(7) + "\"4100,4101\"" + commas(6) + "\"Pack \"\"A\"\", 2\"" + commas(10) + "\"\""
                              + commas(8) + "12345\r\n";
    EXPECT_EQ(
        exported(CWHistoryExport::Table::Samples, QDate(2024, 3, 1), QDate(2024, 3, 2)),
        "testidx,significance,time (ISO 8601),time (Unix s),AdapterInfo,Amperage (mA),AvgTimeToEmpty,AvgTimeToFull,"
        "BatteryInstalled,BatteryInvalidWakeSeconds,BatterySerialNumber,CellVoltage (mV),CurrentCapacity (mAh),"
        "CycleCount,DesignCapacity (mAh),DesignCycleCount70,DesignCycleCount9C,DeviceName,ExternalChargeCapable,"
        "ExternalConnected,FirmwareSerialNumber,FullyCharged,InstantAmperage (mA),InstantTimeToEmpty,IsCharging,"
        "Location,ManufactureDate,Manufacturer,MaxCapacity (mAh),MaxErr,PermanentFailureStatus,"
        "PostChargeWaitSeconds,PostDischargeWaitSeconds,Temperature (0.1 K),TimeRemaining (min),Voltage (mV)\r\n"
        "2,0,2024-03-01T00:00:00+02:00,1709244000,"
            + values + "3,0,2024-03-02T23:59:59+02:00,1709416799," + values);
}

TEST_F(HistoryExportTest, EventsCarryTheirNamesAndData)
{
    LogFile file(path());
    file.exec(
        u"INSERT INTO eventlog (eventtype, time, data) VALUES (5, 1709244000, 'SN \"7\"'), (4, 1709244001, NULL), "
        "(99, 1709244002, 'x\ny')"_s);
    EXPECT_EQ(exported(CWHistoryExport::Table::Events),
              "eventidx,time (ISO 8601),time (Unix s),eventtype,event,data\r\n"
              "1,2024-03-01T00:00:00+02:00,1709244000,5,Batt installed,\"SN \"\"7\"\"\"\r\n"
              "2,2024-03-01T00:00:01+02:00,1709244001,4,Unplugged,\r\n"
              "3,2024-03-01T00:00:02+02:00,1709244002,99,<unknown>,\"x\ny\"\r\n");
}

TEST_F(HistoryExportTest, LocalTimesFollowADaylightSavingChange)
{
    const ScopedEnv zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    LogFile(path()).exec(u"INSERT INTO eventlog (eventtype, time) VALUES (1, 1711846799), (2, 1711846800)"_s);
    const QByteArray csv = exported(CWHistoryExport::Table::Events);
    EXPECT_TRUE(csv.contains(",2024-03-31T01:59:59+01:00,1711846799,")) << csv.constData();
    EXPECT_TRUE(csv.contains(",2024-03-31T03:00:00+02:00,1711846800,")) << csv.constData();
}

TEST_F(HistoryExportTest, ALongLogIsWrittenInStepsWithoutLosingOrRepeatingARow)
{
    const int rows = 2 * CWHistoryExport::kRowsPerStep + 1;
    LogFile(path()).exec(
        QString::asprintf("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %d) "
                          "INSERT INTO battlog (time) SELECT 1709300000 + i FROM n",
                          rows));
    const QList<QByteArray> lines = exported(CWHistoryExport::Table::Samples).split('\n');
    ASSERT_EQ(lines.size(), rows + 2); // the header, the rows and the empty rest after the last line end
    EXPECT_TRUE(lines[rows].startsWith(QByteArray::number(rows) + ','));
}

TEST(ExportCommand, RejectsDatesItCannotRead)
{
    for (const auto &[from, to] : {std::pair{"2024-13-01", ""}, {"", "1.3.2024"}, {"2024-03-02", "2024-03-01"}}) {
        SCOPED_TRACE(std::string(from) + ".." + to);
        QString error;
        EXPECT_FALSE(CWExportCommand::parse(u"-"_s, QString::fromLatin1(from), QString::fromLatin1(to), false, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}
