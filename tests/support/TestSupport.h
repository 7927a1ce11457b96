#pragma once

#include "BatteryRegistry.h"
#include "SqliteHandles.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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
    QByteArray _previous;
};

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
