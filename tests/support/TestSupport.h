#pragma once

#include "AlertPanel.h"
#include "BatteryRegistry.h"
#include "CWLog.h"
#include "SqliteHandles.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// Test files take GoogleTest, QTest and the u"..."_s literals from here.
using namespace Qt::StringLiterals;

// Readable failure messages for Qt's texts and values.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QVariant &value, std::ostream *os)
{
    *os << value.typeName() << ' ' << value.toString().toStdString();
}

// Collects every console line written while it lives.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    const QStringList &lines() const { return _lines; }
    bool contains(const QString &line) const { return _lines.contains(line); }

private:
    QStringList _lines;
};

// Sets an environment variable (unsets it for a null value) for as long as it lives, then puts back
// the previous value or none.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *_name;
    bool _wasSet;
    QByteArray _previous;
};

// Gives the test its own data directory (XDG_DATA_HOME) for as long as it lives, so the support
// directory and the shared log start empty; restores the previous one afterwards.
class ScopedDataHome {
public:
    ScopedDataHome();
    ~ScopedDataHome();
    QString path() const { return _dir.path(); }
    // The support directory inside it (created on demand by the log).
    QString supportPath() const { return _dir.path() + QStringLiteral("/Cellwise"); }

private:
    QTemporaryDir _dir;
    ScopedEnv _dataHome{"XDG_DATA_HOME", _dir.path().toUtf8()};
};

// The application's registered defaults and nothing the user set, for as long as it lives.
class ScopedDefaults {
public:
    ScopedDefaults();
    ~ScopedDefaults();
};

// Stands in for the user while it lives: answers every alert panel with `answer` (after calling
// `onAlert`) and keeps it, and keeps the web pages the application would open in the browser.
class FakeUser {
public:
    FakeUser();
    ~FakeUser();
    FakeUser(const FakeUser &) = delete;
    FakeUser &operator=(const FakeUser &) = delete;

    AlertPanel::Response answer = AlertPanel::Response::Default;
    std::function<void()> onAlert;
    QList<AlertPanel::Alert> alerts;
    QList<QUrl> opened;
};

// The snapshot with some of its values changed or added.
QVariantMap withChanges(QVariantMap snapshot, const QVariantMap &changes);

// The blue of the dashboard's arrows.
bool isArrowBlue(QRgb pixel);

// The largest difference between two pixels in any channel, alpha included.
int pixelDifference(QRgb p, QRgb q);

// Writes text into a file below root, creating the folders on the way.
void writeTextFile(const QString &root, const QString &relativePath, const QString &text);

// A battery whose next reading the test sets.
class FakeBattery : public BatteryRegistry {
public:
    std::optional<QVariantMap> next;
    std::optional<QVariantMap> copyBatteryProperties() override { return next; }
    bool hasBatteryEntry() override { return next.has_value(); }
    QString modelCode() override { return QStringLiteral("MacBookPro11,1"); }
};

// Installs a fake battery (reading `initial`) and puts the sysfs reader back afterwards.
class ScopedFakeBattery {
public:
    explicit ScopedFakeBattery(std::optional<QVariantMap> initial);
    ~ScopedFakeBattery();
    FakeBattery &operator*() const { return *_battery; }
    FakeBattery *operator->() const { return _battery; }

private:
    FakeBattery *_battery;
};

// A second connection to an SQLite file, for setting up rows with explicit times and reading back
// what was stored. A statement that fails fails the test.
class LogFile {
public:
    explicit LogFile(const QString &path);

    void exec(const QString &sql);
    // The first column of every row; a null string for NULL.
    QStringList column(const QString &sql);

private:
    Sqlite::Connection _db;
};

// A fresh log in a temporary folder.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log = CWLog::initWithFile(path());
        ASSERT_TRUE(log);
    }
    QString path() const { return dir.path() + QStringLiteral("/battLog3.sqlite"); }
    // Inserts a sample with an explicit time and significance.
    void addSample(qint64 time, int significance = 0)
    {
        LogFile(path()).exec(
            QString::asprintf("INSERT INTO battlog (time, significance) VALUES (%lld, %d)", time, significance));
    }

    QTemporaryDir dir;
    std::unique_ptr<CWLog> log;
};

// Runs the event loop until the condition holds; false when 10 s passed first.
bool eventuallyTrue(const std::function<bool()> &condition);

// Runs the event loop until no exchange of the shared statistics-server client runs any more: each
// reply starts the next request, so a launch's chain is then over. False after 10 s.
bool serverChainEnds();

// A loopback address where nothing listens: connections are refused.
QString refusingServerURL();
