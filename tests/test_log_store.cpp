// Where the log lives, its schema, and what writing samples, events and markers stores.
#include "LXCWServer.h"
#include "LogTestSupport.h"
#include "SupportDirectory.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace {

QStringList schemaNames(const QString &path)
{
    return LogFile(path).column(QStringLiteral("SELECT name FROM sqlite_master ORDER BY name"));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

} // namespace

TEST(LogLocation, FreshSupportDirectoryGetsTheFullSchema)
{
    ScopedDataHome home;
    CWLog *log = CWLog::sharedLog();
    ASSERT_TRUE(log);
    const QString file = home.supportPath() + QStringLiteral("/battLog3.sqlite");
    EXPECT_EQ(log->logFile(), file);
    EXPECT_EQ(schemaNames(file), (QStringList{"battlog", "battlog_significance_idx", "eventlog",
                                              "eventlog_eventtype_idx", "sqlite_sequence"}));

    LogFile db(file);
    const QString battlog = db.column(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'battlog'")).value(0);
    EXPECT_EQ(battlog.size(), 1061);
    EXPECT_TRUE(battlog.startsWith(
        "CREATE TABLE battlog (\t\t\t\ttestidx INTEGER PRIMARY KEY AUTOINCREMENT, \t\t\t\tsignificance INTEGER "
        "DEFAULT (0), \t\t\t\ttime INTEGER DEFAULT (strftime('%s','now')), \t\t\t\tAdapterInfo INTEGER, "));
    EXPECT_TRUE(battlog.endsWith(", \t\t\t\tVoltage INTEGER \t\t\t\t)"));
    const QString eventlog = db.column(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'eventlog'")).value(0);
    EXPECT_EQ(eventlog.size(), 162);
    EXPECT_EQ(db.column(QStringLiteral("SELECT name FROM pragma_table_info('battlog')")).size(), 35);
    // Nothing is left behind from building the file.
    EXPECT_EQ(QDir(home.supportPath()).entryList(QDir::Files), QStringList{"battLog3.sqlite"});
}

TEST(LogLocation, RegularFileNamedCellwiseIsReplacedByTheDirectory)
{
    ScopedDataHome home;
    writeTextFile(home.path(), QStringLiteral("Cellwise"), QStringLiteral("stray"));
    EXPECT_EQ(supportDirectory(), home.supportPath());
    EXPECT_TRUE(QFileInfo(home.supportPath()).isDir());
    EXPECT_TRUE(CWLog::sharedLog());
}

TEST(LogLocation, FolderInThePlaceOfTheLogIsRemoved)
{
    ScopedDataHome home;
    writeTextFile(home.supportPath(), QStringLiteral("battLog3.sqlite/inner"), QStringLiteral("x"));
    ASSERT_TRUE(CWLog::sharedLog());
    EXPECT_TRUE(QFileInfo(CWLog::sharedLogFile()).isFile());
}

TEST(LogLocation, SharedLogIsOneObjectUntilReset)
{
    ScopedDataHome home;
    CWLog *first = CWLog::sharedLog();
    EXPECT_EQ(CWLog::sharedLog(), first);
    CWLog::resetSharedLog();
    ASSERT_TRUE(CWLog::sharedLog());
}

// Every tick asks for the log: a log that cannot be opened must not fill the console.
TEST(LogLocation, ALogThatCannotBeOpenedIsSaidOnceAndTriedAgainAfterAReset)
{
    ScopedDataHome home;
    writeTextFile(home.path(), QStringLiteral("file"), QStringLiteral("no folder"));
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/file/data")).toUtf8());
    ConsoleCapture console;
    for (int call = 0; call < 3; ++call)
        EXPECT_EQ(CWLog::sharedLog(), nullptr);
    ASSERT_EQ(console.lines().size(), 2) << console.lines().join('\n').toStdString();
    EXPECT_TRUE(console.lines().first().startsWith("Unable to create the support directory "));
    EXPECT_TRUE(console.lines().first().endsWith(": Not a directory")) << "with the reason";
    EXPECT_EQ(console.lines().last(), "Unable to initialize shared CWLog");

    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    CWLog::resetSharedLog();
    EXPECT_NE(CWLog::sharedLog(), nullptr);
}

TEST(LogOpening, ExistingFileIsOpenedWithoutTouchingItsSchema)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/battLog3.sqlite");
    LogFile(path).exec(QStringLiteral("CREATE TABLE other (x INTEGER)"));
    ConsoleCapture console;
    auto log = CWLog::initWithFile(path);
    ASSERT_TRUE(log);
    EXPECT_EQ(schemaNames(path), QStringList{"other"});
    EXPECT_FALSE(log->logBattDict({}));
    EXPECT_EQ(console.lines(), (QStringList{"sqlite error: no such table: battlog", "Failed to log battery info."}));
}

TEST(LogOpening, NullPathOrMissingFolderFails)
{
    ConsoleCapture console;
    EXPECT_FALSE(CWLog::initWithFile(QString()));
    EXPECT_FALSE(CWLog::initWithFile(QStringLiteral("/nonexistent-folder/battLog3.sqlite")));
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().startsWith("Can't open database: "));
}

TEST(LogOpening, CorruptFileIsReportedAndKept)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/battLog3.sqlite");
    const QByteArray garbage(8192, 'x');
    writeTextFile(dir.path(), QStringLiteral("battLog3.sqlite"), QString::fromLatin1(garbage));
    ConsoleCapture console;
    auto log = CWLog::initWithFile(path);
    ASSERT_TRUE(log);
    EXPECT_FALSE(log->logBattDict({{"Voltage", 12000}}));
    EXPECT_FALSE(log->logMonitoringStarted());
    EXPECT_FALSE(log->battLogEntriesAboveIndex(0, {}));
    EXPECT_EQ(console.lines(),
              (QStringList{"sqlite error: file is not a database", "Failed to log battery info.",
                           "sqlite error: file is not a database", "ERROR: Failure in [CWLog logMonitoringStarted]",
                           "Query SELECT * FROM battlog WHERE testidx > 0 ORDER BY testidx failed with file is not "
                           "a database"}));
    EXPECT_EQ(fileBytes(path), garbage);
}

TEST(LogOpening, ReadOnlyFileStillAnswersQueries)
{
    if (runningAsRoot())
        GTEST_SKIP() << "file permissions do not bind root";
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/battLog3.sqlite");
    ASSERT_TRUE(CWLog::initWithFile(path)->logBattDict({{"Voltage", 12000}}));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    auto log = CWLog::initWithFile(path);
    ASSERT_TRUE(log);
    ConsoleCapture console;
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn));
    EXPECT_EQ(console.lines(),
              (QStringList{"sqlite error: attempt to write a readonly database", "Failed to log battery info."}));
    EXPECT_EQ(log->battLogEntriesAboveIndex(0, {"Voltage"})->value("Voltage"), QStringList{"12000"});
}

TEST_F(LogTest, SampleStoresEveryColumnAsGiven)
{
    const QVariantMap snapshot = {
        {"DeviceName", "bq20z451 'A'"},
        {"CellVoltage", QVariantList{4012, 4013, 4011}},
        {"ExternalConnected", true},
        {"IsCharging", false},
        {"Voltage", qint64(12345)},
        {"InstantAmperage", -1500},
        {"Location", QVariant()},
        {"NotAColumn", 7},
    };
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    ASSERT_TRUE(log->logBattDict(snapshot));
    const auto rows = log->battLogEntriesAboveIndex(0, {});
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 35);
    EXPECT_EQ(rows->value("testidx"), QStringList{"1"});
    EXPECT_EQ(rows->value("significance"), QStringList{"0"});
    EXPECT_GE(rows->value("time").value(0).toLongLong(), before);
    EXPECT_EQ(rows->value("DeviceName"), QStringList{"bq20z451 'A'"});
    EXPECT_EQ(rows->value("CellVoltage"), QStringList{"4012,4013,4011"});
    EXPECT_EQ(rows->value("ExternalConnected"), QStringList{"1"});
    EXPECT_EQ(rows->value("IsCharging"), QStringList{"0"});
    EXPECT_EQ(rows->value("Voltage"), QStringList{"12345"});
    EXPECT_EQ(rows->value("InstantAmperage"), QStringList{"-1500"});
    EXPECT_TRUE(rows->value("Location").value(0).isNull());
    EXPECT_TRUE(rows->value("Manufacturer").value(0).isNull());
    EXPECT_EQ(LogFile(path()).column("SELECT typeof(Voltage) FROM battlog"), QStringList{"integer"});
}

// Uploading is the application's business: the log stores, whatever the user consented to.
TEST_F(LogTest, StoringASampleNeverUploadsIt)
{
    UserDefaults::standard().setBool(QStringLiteral("CWSendBattDataToServer"), true);
    const size_t exchanges = LXCWServer::sharedServer()->conns().size();
    ASSERT_TRUE(log->logBattDict({{"Voltage", 12000}}));
    EXPECT_EQ(LXCWServer::sharedServer()->conns().size(), exchanges);
    UserDefaults::standard().clearAll();
}

TEST_F(LogTest, FailedReadStoresARowOfNulls)
{
    ASSERT_TRUE(log->logBattDict({}));
    EXPECT_EQ(LogFile(path()).column("SELECT count(*) FROM battlog WHERE Voltage IS NULL AND DeviceName IS NULL"),
              QStringList{"1"});
}

TEST_F(LogTest, TextWithNulIsStoredWithoutIt)
{
    ASSERT_TRUE(log->logBattDict({{"BatterySerialNumber", QString::fromUtf8("AB\0CD", 5)}}));
    EXPECT_EQ(LogFile(path()).column("SELECT BatterySerialNumber FROM battlog"), QStringList{"ABCD"});
}

TEST_F(LogTest, EventsStoreTheirDataOrNull)
{
    ASSERT_TRUE(log->logEvent(CWEventType::BattInstalled, QStringLiteral("D86'3")));
    ASSERT_TRUE(log->logEvent(CWEventType::Unplugged));
    ASSERT_TRUE(log->logEvent(CWEventType::BattRemoved, QStringLiteral("")));
    const auto events = log->eventLogEntriesAboveIndex(0);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->value("eventtype"), (QStringList{"5", "4", "6"}));
    EXPECT_EQ(events->value("data").value(0), "D86'3");
    EXPECT_TRUE(events->value("data").value(1).isNull());
    EXPECT_EQ(events->value("data").value(2), "");
}

TEST_F(LogTest, UncleanEndIsClosedOneSecondAfterTheLastSample)
{
    LogFile db(path());
    db.exec("INSERT INTO eventlog (eventtype, time) VALUES (1, 900)");
    addSample(950);
    addSample(1000);
    ConsoleCapture console;
    ASSERT_TRUE(log->logMonitoringStarted());
    EXPECT_EQ(console.lines(), QStringList{"Batt log did not end cleanly. Logging an end at 1001"});
    EXPECT_EQ(db.column("SELECT eventtype || '@' || time FROM eventlog WHERE time < 5000 ORDER BY eventidx"),
              (QStringList{"1@900", "2@1001"}));
    EXPECT_EQ(db.column("SELECT eventtype FROM eventlog ORDER BY eventidx"), (QStringList{"1", "2", "1"}));
}

TEST_F(LogTest, UncleanEndBeyond2038KeepsItsTime)
{
    LogFile db(path());
    db.exec("INSERT INTO eventlog (eventtype, time) VALUES (1, 4999999000)");
    addSample(5000000000);
    ConsoleCapture console;
    ASSERT_TRUE(log->logMonitoringStarted());
    EXPECT_EQ(console.lines(), QStringList{"Batt log did not end cleanly. Logging an end at 5000000001"});
    EXPECT_EQ(db.column("SELECT time FROM eventlog WHERE eventtype = 2"), QStringList{"5000000001"});
}

TEST_F(LogTest, StartWithoutLaterSampleWritesNoEnd)
{
    LogFile db(path());
    addSample(800);
    db.exec("INSERT INTO eventlog (eventtype, time) VALUES (1, 900)");
    ConsoleCapture console;
    ASSERT_TRUE(log->logMonitoringStarted());
    EXPECT_TRUE(console.lines().isEmpty());
    EXPECT_EQ(db.column("SELECT eventtype FROM eventlog ORDER BY eventidx"), (QStringList{"1", "1"}));
}

TEST_F(LogTest, CleanRunsNeedNoRecovery)
{
    ConsoleCapture console;
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(log->logMonitoringStarted());
        ASSERT_TRUE(log->logBattDict({{"Voltage", 12000 + run}}));
        ASSERT_TRUE(log->logMonitoringStopped());
    }
    EXPECT_TRUE(console.lines().isEmpty());
    EXPECT_EQ(LogFile(path()).column("SELECT eventtype FROM eventlog ORDER BY eventidx"),
              (QStringList{"1", "2", "1", "2"}));
}

TEST_F(LogTest, MaintenanceStatements)
{
    addSample(1000, 4);
    addSample(1001, 1);
    log->logEvent(CWEventType::PluggedIn);
    log->designifyAll();
    EXPECT_EQ(LogFile(path()).column("SELECT DISTINCT significance FROM battlog"), QStringList{"0"});
    log->deleteAll();
    log->vacuum();
    EXPECT_EQ(LogFile(path()).column("SELECT count(*) FROM battlog"), QStringList{"0"});
    EXPECT_EQ(LogFile(path()).column("SELECT eventtype FROM eventlog"), QStringList{"3"});
}

TEST_F(LogTest, FailedStatementsAreReported)
{
    LogFile(path()).exec("DROP TABLE eventlog");
    ConsoleCapture console;
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn));
    EXPECT_FALSE(log->logMonitoringStarted());
    EXPECT_FALSE(log->logMonitoringStopped());
    log->logBattDict({});
    LogFile(path()).exec("DROP TABLE battlog");
    log->deleteAll();
    EXPECT_EQ(console.lines(),
              (QStringList{"sqlite error: no such table: eventlog", "Failed to log battery info.",
                           "sqlite error: no such table: eventlog", "ERROR: Failure in [CWLog logMonitoringStarted]",
                           "sqlite error: no such table: eventlog", "ERROR: Failure in [CWLog logMonitoringStopped]",
                           "Query DELETE FROM battlog failed with no such table: battlog"}));
}

TEST_F(LogTest, WritesAfterCloseFailWithoutCrashing)
{
    ASSERT_TRUE(log->closeDB());
    EXPECT_FALSE(log->closeDB());
    ConsoleCapture console;
    EXPECT_FALSE(log->logBattDict({{"Voltage", 12000}}));
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn, QStringLiteral("x")));
    EXPECT_FALSE(log->logMonitoringStarted());
    EXPECT_FALSE(log->logMonitoringStopped());
    EXPECT_FALSE(log->eventLogEntriesAboveIndex(0));
    EXPECT_EQ(console.lines(),
              (QStringList{"Failed to log battery info.", "Failed to log battery info.",
                           "ERROR: Failure in [CWLog logMonitoringStarted]",
                           "ERROR: Failure in [CWLog logMonitoringStopped]",
                           "Query SELECT * FROM eventlog WHERE eventidx > 0 ORDER BY eventidx failed with no open "
                           "database"}));
}

TEST(LogEvents, TextsOfEventCodes)
{
    EXPECT_EQ(CWLog::stringForEvent(CWEventType(1)), "Cellwise started");
    EXPECT_EQ(CWLog::stringForEvent(CWEventType(4)), "Unplugged");
    EXPECT_EQ(CWLog::stringForEvent(CWEventType(10)), "Is not charging");
    EXPECT_EQ(CWLog::stringForEvent(CWEventType(0)), "<unknown>");
    EXPECT_EQ(CWLog::stringForEvent(CWEventType(11)), "<unknown>");
}
