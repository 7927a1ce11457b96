#pragma once

#include "CWLog.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

// A second connection to a log file, for setting up rows with explicit times and reading back what
// the log stored.
class LogFile {
public:
    explicit LogFile(const QString &path) { sqlite3_open(path.toUtf8().constData(), &_db); }
    ~LogFile() { sqlite3_close(_db); }
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    void exec(const QString &sql)
    {
        char *message = nullptr;
        if (sqlite3_exec(_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
            ADD_FAILURE() << sql.toStdString() << ": " << (message ? message : "");
        sqlite3_free(message);
    }

    // The first column of every row; a null string for NULL.
    QStringList column(const QString &sql)
    {
        QStringList values;
        char *message = nullptr;
        const auto collect = [](void *context, int, char **row, char **) {
            static_cast<QStringList *>(context)->append(row[0] ? QString::fromUtf8(row[0]) : QString());
            return 0;
        };
        if (sqlite3_exec(_db, sql.toUtf8().constData(), collect, &values, &message) != SQLITE_OK)
            ADD_FAILURE() << sql.toStdString() << ": " << (message ? message : "");
        sqlite3_free(message);
        return values;
    }

private:
    sqlite3 *_db = nullptr;
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

    // Inserts a sample with an explicit time and significance (and optionally a Voltage).
    void addSample(qint64 time, int significance = 0, const QString &voltage = QStringLiteral("NULL"))
    {
        LogFile(path()).exec(QString::asprintf("INSERT INTO battlog (time, significance, Voltage) VALUES (%lld, %d, ",
                                               time, significance)
                             + voltage + QStringLiteral(")"));
    }

    QTemporaryDir dir;
    std::unique_ptr<CWLog> log;
};
