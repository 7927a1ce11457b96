// Where the log lives, its schema, what writing samples, events and markers stores, and how it fails.
#include "CWAppDelegate.h"
#include "CWLogMaintenance.h"
#include "LXCWServer.h"
#include "SupportDirectory.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

using namespace Qt::StringLiterals;

TEST(LogLocation, AFreshSupportDirectoryGetsTheFullSchemaAndNothingElse)
{
    ScopedDataHome home;
    writeTextFile(home.path(), u"Cellwise"_s, u"a stray file where the folder goes"_s);
    CWLog *log = CWLog::sharedLog();
    ASSERT_TRUE(log);
    EXPECT_EQ(CWLog::sharedLog(), log) << "one shared log";
    EXPECT_EQ(supportDirectory(), home.supportPath());
    const QString file = home.supportPath() + u"/battLog3.sqlite"_s;
    EXPECT_EQ(log->logFile(), file);
    LogFile db(file);
    EXPECT_EQ(db.column(u"SELECT name FROM sqlite_master ORDER BY name"_s),
              QStringList({u"battlog"_s, u"battlog_anchor_idx"_s, u"battlog_significance_idx"_s, u"eventlog"_s,
                           u"eventlog_eventtype_idx"_s, u"sqlite_sequence"_s}));
    EXPECT_EQ(db.column(u"SELECT name FROM pragma_table_info('battlog')"_s).size(), 35);
    EXPECT_EQ(db.column(u"SELECT name FROM pragma_table_info('eventlog')"_s),
              QStringList({u"eventidx"_s, u"time"_s, u"eventtype"_s, u"data"_s}));
    EXPECT_EQ(QDir(home.supportPath()).entryList(QDir::Files),
              QStringList({u"battLog3.sqlite"_s, u"battLog3.sqlite-shm"_s, u"battLog3.sqlite-wal"_s}));
    EXPECT_EQ(db.column(u"PRAGMA journal_mode"_s), QStringList{u"wal"_s}) << "readers never block the writer";
    EXPECT_EQ(db.column(u"PRAGMA page_size"_s), QStringList{u"2048"_s}) << "a sample appends three pages";
}

// Every tick asks for the log: a log that cannot be opened must not fill the console.
TEST(LogLocation, ALogThatCannotBeOpenedIsSaidOnceAndTriedAgainAfterAReset)
{
    ScopedDataHome home;
    writeTextFile(home.path(), u"file"_s, u"no folder"_s);
    ConsoleCapture console;
    {
        ScopedEnv blocked("XDG_DATA_HOME", (home.path() + u"/file/data"_s).toUtf8());
        for (int call = 0; call < 3; ++call)
            EXPECT_EQ(CWLog::sharedLog(), nullptr);
    }
    ASSERT_EQ(console.lines().size(), 2) << console.lines().join(u'\n').toStdString();
    EXPECT_TRUE(console.lines().first().endsWith(u": Not a directory"_s)) << "with the reason";
    EXPECT_EQ(console.lines().last(), u"Unable to initialize shared CWLog"_s);
    CWLog::resetSharedLog();
    EXPECT_NE(CWLog::sharedLog(), nullptr);
}

TEST(LogOpening, FilesItCannotUseAreReportedAndLeftAsTheyWere)
{
    QTemporaryDir dir;
    ConsoleCapture console;
    EXPECT_FALSE(CWLog::initWithFile(QString()));
    EXPECT_FALSE(CWLog::initWithFile(u"/nonexistent-folder/battLog3.sqlite"_s));
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines().first().startsWith(u"Can't open database: "_s));

    // Another program's database: opened, its schema untouched, writes fail.
    const QString foreign = dir.path() + u"/foreign.sqlite"_s;
    LogFile(foreign).exec(u"CREATE TABLE other (x INTEGER)"_s);
    EXPECT_FALSE(CWLog::initWithFile(foreign)->logBattDict({}));
    EXPECT_EQ(LogFile(foreign).column(u"SELECT name FROM sqlite_master"_s), QStringList{u"other"_s});
}

// What cannot serve as the log is kept aside untouched and a new log started; the user is told where.
TEST(LogOpening, ADamagedLogIsKeptAsideAndANewOneStarted)
{
    ScopedDataHome home;
    const QString path = CWLog::sharedLogFile();
    ASSERT_TRUE(CWLog::sharedLog());
    LogFile(path).exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                       "INSERT INTO battlog (time, DeviceName) SELECT i, 'pack ' || i FROM n"_s);
    CWLog::resetSharedLog();
    QFile soundFile(path);
    const QByteArray sound = soundFile.open(QIODevice::ReadOnly) ? soundFile.readAll() : QByteArray();
    const QByteArray half = sound.left(sound.size() / 2);
    const struct {
        const char *name;
        QByteArray content; // a null one: a folder holding a file
    } rows[] = {{"zero-byte", ""},
                {"truncated", half},
                {"garbage", QByteArray(8192, 'x')},
                {"text", "notes\n"},
                {"damaged middle", half + QByteArray(4096, 'x') + sound.mid(half.size() + 4096)},
                {"folder", {}}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QFile file(path);
        file.remove();
        ASSERT_TRUE(row.content.isNull()
                        ? QDir().mkpath(path + u"/inner"_s)
                        : file.open(QIODevice::WriteOnly) && file.write(row.content) >= 0 && file.flush());
        const QStringList before = QDir(home.supportPath()).entryList({u"*.damaged-*"_s});
        CWAppDelegate window;
        FakeUser user;
        ConsoleCapture console;
        CWLogMaintenance::start(&window); // opens the shared log
        ASSERT_TRUE(eventuallyTrue([&] { return window.children().isEmpty(); }));
        EXPECT_TRUE(CWLog::sharedLog() && CWLog::sharedLog()->logBattDict({{u"Voltage"_s, 12000}}));
        CWLog::resetSharedLog();
        QStringList aside = QDir(home.supportPath()).entryList({u"*.damaged-*"_s});
        for (const QString &name : before)
            aside.removeOne(name);
        EXPECT_EQ(aside.size(), row.content.isNull() || !row.content.isEmpty()); // an empty database is kept
        EXPECT_EQ(console.lines().size(), aside.size()) << console.lines().join(u'\n').toStdString();
        EXPECT_TRUE(eventuallyTrue([&] { return user.alerts.size() == aside.size(); }));
        if (aside.isEmpty() || user.alerts.isEmpty())
            continue;
        const QString kept = home.supportPath() + u'/' + aside.first();
        EXPECT_TRUE(console.lines().first().contains(kept) && user.alerts.first().message.contains(kept));
        QFile keptFile(kept);
        EXPECT_TRUE(row.content.isNull() ? QFileInfo(kept + u"/inner"_s).isDir()
                                         : keptFile.open(QIODevice::ReadOnly) && keptFile.readAll() == row.content);
    }
}

TEST(LogOpening, AReadOnlyFileStillAnswersQueries)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    QTemporaryDir dir;
    const QString path = dir.path() + u"/battLog3.sqlite"_s;
    ASSERT_TRUE(CWLog::initWithFile(path)->logBattDict({{u"Voltage"_s, 12000}}));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    auto log = CWLog::initWithFile(path);
    ConsoleCapture console;
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn));
    EXPECT_EQ(console.lines().value(0), u"sqlite error: attempt to write a readonly database"_s);
    EXPECT_EQ(log->battLogEntriesAboveIndex(0, {u"Voltage"_s})->value(u"Voltage"_s), QStringList{u"12000"_s});
}

TEST_F(LogTest, ASampleStoresEveryColumnAsGivenAndIsNeverUploaded)
{
    UserDefaults::standard().setBool(u"CWSendBattDataToServer"_s, true);
    const size_t exchanges = LXCWServer::sharedServer()->conns().size();
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    // clang-format off
    ASSERT_TRUE(log->logBattDict({{u"DeviceName"_s, u"bq20z451 'A'"_s}, {u"CellVoltage"_s, QVariantList{4012, 4013, 4011}},
                                  {u"ExternalConnected"_s, true}, {u"IsCharging"_s, false}, {u"Voltage"_s, qint64(12345)},
                                  {u"Location"_s, QVariant()}, {u"NotAColumn"_s, 7},
                                  {u"BatterySerialNumber"_s, u"AB"_s + QChar(0) + u"CD"_s}}));
    // clang-format on
    ASSERT_TRUE(log->logBattDict({})); // a failed read: a row of NULLs
    EXPECT_EQ(LXCWServer::sharedServer()->conns().size(), exchanges) << "uploading is the application's business";
    UserDefaults::standard().clearAll();

    const auto rows = log->battLogEntriesAboveIndex(0, {});
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 35);
    // clang-format off
    const std::pair<const char *, QStringList> expected[] = {
        {"testidx", {u"1"_s, u"2"_s}}, {"significance", {u"0"_s, u"0"_s}}, {"DeviceName", {u"bq20z451 'A'"_s, {}}},
        {"CellVoltage", {u"4012,4013,4011"_s, {}}}, {"ExternalConnected", {u"1"_s, {}}}, {"IsCharging", {u"0"_s, {}}},
        {"Voltage", {u"12345"_s, {}}}, {"Location", {{}, {}}}, {"BatterySerialNumber", {u"ABCD"_s, {}}},
    };
    // clang-format on
    for (const auto &[column, values] : expected) {
        EXPECT_EQ(rows->value(QLatin1String(column)), values) << column;
        EXPECT_EQ(rows->value(QLatin1String(column)).value(1).isNull(), values.value(1).isNull()) << column;
    }
    EXPECT_GE(rows->value(u"time"_s).value(0).toLongLong(), before);
    EXPECT_EQ(LogFile(path()).column(u"SELECT typeof(Voltage) FROM battlog"_s).value(0), u"integer"_s);
}

TEST_F(LogTest, EventsStoreTheirDataOrNullAndAreNamed)
{
    ASSERT_TRUE(log->logEvent(CWEventType::BattInstalled, u"D86'3"_s));
    ASSERT_TRUE(log->logEvent(CWEventType::Unplugged));
    const auto events = log->eventLogEntriesAboveIndex(0);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->value(u"eventtype"_s), QStringList({u"5"_s, u"4"_s}));
    EXPECT_EQ(events->value(u"data"_s).value(0), u"D86'3"_s);
    EXPECT_TRUE(events->value(u"data"_s).value(1).isNull());
    const std::pair<int, const char *> names[] = {
        {1, "Cellwise started"}, {4, "Unplugged"}, {10, "Is not charging"}, {0, "<unknown>"}, {11, "<unknown>"}};
    for (const auto &[code, name] : names)
        EXPECT_EQ(CWLog::stringForEvent(CWEventType(code)), QLatin1String(name));
}

// Another program's lock delays samples and events but never loses them: they are held in order. At
// most an hour of them is held; that is said once, and what it cost when the log works again.
TEST_F(LogTest, WritesMeetingALockAreHeldInOrderUntilItIsGone)
{
    LogFile other(path());
    ConsoleCapture console;
    int voltage = 0;
    for (const QString &lock : {u"BEGIN; SELECT count(*) FROM battlog"_s, u"BEGIN EXCLUSIVE"_s}) {
        SCOPED_TRACE(lock.toStdString());
        other.exec(lock);
        for (int sample = 0; sample < 3; ++sample)
            EXPECT_TRUE(log->logBattDict({{u"Voltage"_s, ++voltage}}));
        EXPECT_TRUE(log->logEvent(CWEventType::PluggedIn));
        other.exec(u"COMMIT"_s);
        EXPECT_TRUE(log->logBattDict({{u"Voltage"_s, ++voltage}}));
    }

    other.exec(u"BEGIN EXCLUSIVE"_s);
    for (int sample = 0; sample < 3602; ++sample)
        log->logBattDict({{u"Voltage"_s, sample}});
    other.exec(u"COMMIT"_s);
    EXPECT_TRUE(log->logBattDict({{u"Voltage"_s, 1}}));
    EXPECT_EQ(other.column(u"SELECT group_concat(Voltage) FROM (SELECT Voltage FROM battlog ORDER BY testidx LIMIT 8) "
                           "UNION ALL SELECT count(*) FROM eventlog UNION ALL SELECT count(*) FROM battlog"_s),
              QStringList({u"1,2,3,4,5,6,7,8"_s, u"2"_s, u"3609"_s}));
    EXPECT_EQ(console.lines(), QStringList({u"The battery log has been locked by another program for an hour; samples "
                                            "are lost until it is free."_s,
                                            u"Failed to log battery info."_s,
                                            u"Logging battery info works again; 2 samples were lost."_s}));
}

// A crash leaves the newest pages in the write-ahead log only: the file is sound and opened as it is.
TEST_F(LogTest, ALogLeftByACrashIsOpenedAsItIs)
{
    LogFile writer(path()); // copied while it is open, as a crash leaves it
    writer.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                "INSERT INTO battlog (time) SELECT i FROM n"_s);
    for (const QString &suffix : {u""_s, u"-wal"_s})
        ASSERT_TRUE(QFile::copy(path() + suffix, path() + u".crashed"_s + suffix));
    EXPECT_EQ(CWLog::initWithFile(path() + u".crashed"_s)->lastSampleIndex(), 3000);
}

// A log moved away or deleted while Cellwise runs: a new log is started at its path; the user is told.
TEST_F(LogTest, ALogMovedOrDeletedWhileRunningIsStartedAnew)
{
    for (const bool deleted : {false, true}) {
        SCOPED_TRACE(deleted ? "deleted" : "moved");
        ASSERT_TRUE(log->logBattDict({{u"Voltage"_s, 1}}));
        ASSERT_TRUE(deleted ? QFile::remove(path()) : QFile::rename(path(), path() + u".moved"_s));
        ConsoleCapture console;
        EXPECT_TRUE(log->logBattDict({{u"Voltage"_s, 2}}));
        EXPECT_TRUE(log->logBattDict({{u"Voltage"_s, 3}}));
        EXPECT_EQ(console.lines().size(), 1);
        EXPECT_EQ(LogFile(path()).column(u"SELECT group_concat(Voltage) FROM battlog UNION ALL SELECT eventtype FROM "
                                         "eventlog"_s),
                  QStringList({u"2,3"_s, u"1"_s}));
    }
    EXPECT_EQ(LogFile(path() + u".moved"_s).column(u"SELECT Voltage FROM battlog"_s), QStringList{u"1"_s});
}

TEST_F(LogTest, ARunWithoutItsStopIsClosedAfterItsLastSampleNeverAfterTheNextStart)
{
    const struct {
        const char *before; // the earlier runs, as SQL
        const char *line;   // the console line, if any
        const char *events; // the events afterwards, as "type@time" (the new start at any time)
    } rows[] = {
        {"INSERT INTO eventlog (eventtype, time) VALUES (1, 900); INSERT INTO battlog (time) VALUES (950), (1000);",
         "Batt log did not end cleanly. Logging an end at 1001", "1@900 2@1001 1"},
        {"INSERT INTO eventlog (eventtype, time) VALUES (1, 900); INSERT INTO battlog (time) "
         "VALUES (strftime('%s','now'));",
         "Batt log did not end cleanly. Logging an end at now", "1@900 2@now 1"}, // died in this start's second
        {"INSERT INTO battlog (time) VALUES (800); INSERT INTO eventlog (eventtype, time) VALUES (1, 900);", nullptr,
         "1@900 1"}, // no sample after the start
        {"INSERT INTO eventlog (eventtype, time) VALUES (1, 900), (2, 1001); INSERT INTO battlog (time) VALUES (1000);",
         nullptr, "1@900 2@1001 1"}, // a clean run
        {"INSERT INTO eventlog (eventtype, time) VALUES (1, 900), (2, 1001), (1, 500); INSERT INTO battlog (time) "
         "VALUES (1000), (600);",
         "Batt log did not end cleanly. Logging an end at 601", "1@900 2@1001 1@500 2@601 1"}, // clock set back
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.before);
        LogFile db(path());
        db.exec(u"DELETE FROM eventlog; DELETE FROM battlog; "_s + QLatin1String(row.before));
        ConsoleCapture console;
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        ASSERT_TRUE(log->logMonitoringStarted());
        const QString now = QString::asprintf("BETWEEN %lld AND %lld", before, QDateTime::currentSecsSinceEpoch());
        const QString stop = db.column(u"SELECT max(time) FROM eventlog WHERE eventidx = (SELECT max(eventidx) "
                                       "FROM eventlog WHERE eventtype = 2)"_s)
                                 .value(0);
        EXPECT_EQ(console.lines(),
                  row.line ? QStringList{QString::fromLatin1(row.line).replace(u"now"_s, stop)} : QStringList());
        EXPECT_EQ(db.column(u"SELECT eventtype || CASE WHEN eventidx = (SELECT max(eventidx) FROM eventlog) THEN '' "
                            "WHEN time "_s
                            + now + u" THEN '@now' ELSE '@' || time END FROM eventlog ORDER BY eventidx"_s)
                      .join(u' '),
                  QLatin1String(row.events));
    }
}

TEST_F(LogTest, MaintenanceStatementsAndTheirFailures)
{
    addSample(1000, 4);
    addSample(1001, 1);
    log->logEvent(CWEventType::PluggedIn);
    log->designifyAll();
    EXPECT_EQ(LogFile(path()).column(u"SELECT DISTINCT significance FROM battlog"_s), QStringList{u"0"_s});
    log->deleteAll();
    log->vacuum();
    EXPECT_EQ(LogFile(path()).column(u"SELECT count(*) FROM battlog"_s), QStringList{u"0"_s});
    EXPECT_EQ(LogFile(path()).column(u"SELECT eventtype FROM eventlog"_s), QStringList{u"3"_s}) << "events are kept";

    LogFile(path()).exec(u"DROP TABLE eventlog"_s);
    ConsoleCapture console;
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn));
    EXPECT_FALSE(log->logMonitoringStarted());
    EXPECT_FALSE(log->logMonitoringStopped());
    LogFile(path()).exec(u"DROP TABLE battlog"_s);
    log->deleteAll();
    for (int sample = 0; sample < 3; ++sample)
        EXPECT_FALSE(log->logBattDict({})); // said once, not with every sample
    EXPECT_FALSE(log->battLogEntriesAboveIndex(0, QStringList(300, u"Voltage + nosuch"_s)));
    EXPECT_EQ(console.lines().mid(0, 9),
              QStringList(
                  {u"sqlite error: no such table: eventlog"_s, u"Failed to log battery info."_s,
                   u"sqlite error: no such table: eventlog"_s, u"ERROR: Failure in [CWLog logMonitoringStarted]"_s,
                   u"sqlite error: no such table: eventlog"_s, u"ERROR: Failure in [CWLog logMonitoringStopped]"_s,
                   u"Query DELETE FROM battlog failed with no such table: battlog"_s,
                   u"sqlite error: no such table: battlog"_s, u"Failed to log battery info."_s}));
    EXPECT_TRUE(console.lines().size() == 10 && console.lines().last().size() < 1000
                && console.lines().last().endsWith(u"… failed with no such table: battlog"_s)); // a statement cut short
}

TEST_F(LogTest, WritesAfterCloseFailWithoutCrashing)
{
    ASSERT_TRUE(log->closeDB());
    EXPECT_FALSE(log->closeDB());
    ConsoleCapture console;
    EXPECT_FALSE(log->logBattDict({{u"Voltage"_s, 12000}}));
    EXPECT_FALSE(log->logEvent(CWEventType::PluggedIn, u"x"_s));
    EXPECT_FALSE(log->logMonitoringStarted());
    EXPECT_FALSE(log->eventLogEntriesAboveIndex(0));
    EXPECT_EQ(console.lines().size(), 4);
}

// Classifying in small steps from the event loop must give what one call gives, also when some
// samples are classified already, and a re-index in steps what clearing and classifying gives.
TEST_F(LogTest, ClassificationInStepsEqualsClassificationInOneGo)
{
    const QString steppedPath = dir.path() + u"/stepped.sqlite"_s;
    const auto stepped = CWLog::initWithFile(steppedPath);
    const QString samples = u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                            "INSERT INTO battlog (time, significance) SELECT 10000 + i * 37 + (i % 7) * 250, "
                            "CASE WHEN i BETWEEN 100 AND 150 THEN 1 ELSE 0 END FROM n"_s;
    const QString classes = u"SELECT group_concat(significance, '') FROM battlog"_s;
    LogFile(path()).exec(samples);
    LogFile(steppedPath).exec(samples);
    for (const bool everySample : {false, true}) {
        SCOPED_TRACE(everySample ? "re-index" : "unclassified only");
        if (everySample)
            log->designifyAll();
        log->signifyMissing();
        CWLog::SignifyPass pass = stepped->beginSignify(everySample);
        int steps = 0;
        for (; !pass.isDone(); ++steps)
            stepped->signifyStep(pass, 7);
        EXPECT_GT(steps, 40);
        EXPECT_EQ(LogFile(steppedPath).column(classes), LogFile(path()).column(classes));
    }
}

// After launch the log's upkeep runs from the event loop: it classifies what is unclassified,
// summarises the times of a log that has no summary yet and indexes its anchors, then ends by itself.
TEST(LogMaintenance, ClassifiesAndSummarisesInStepsThenEnds)
{
    ScopedDataHome home;
    ASSERT_TRUE(CWLog::sharedLog());
    LogFile db(CWLog::sharedLogFile());
    db.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000) "
            "INSERT INTO battlog (time) SELECT 1000 + i * 10 FROM n"_s);
    db.exec(u"DROP INDEX battlog_anchor_idx"_s); // as an older version wrote the log
    QObject owner;
    CWLogMaintenance::start(&owner);
    EXPECT_EQ(db.column(u"SELECT count(*) FROM battlog WHERE significance = 0"_s), QStringList{u"50000"_s})
        << "nothing done before the event loop turns";
    ASSERT_TRUE(eventuallyTrue([&] { return owner.children().isEmpty(); }));
    EXPECT_EQ(db.column(u"SELECT count(*) FROM battlog WHERE significance = 0"_s), QStringList{u"0"_s});
    EXPECT_EQ(db.column(u"SELECT sum(samples) FROM battlog_timespans"_s), QStringList{u"49151"_s})
        << "every complete span kept";
    EXPECT_EQ(db.column(u"SELECT count(*) FROM sqlite_master WHERE name = 'battlog_anchor_idx'"_s),
              QStringList{u"1"_s});
}
