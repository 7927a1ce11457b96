#pragma once

#include "CWLog.h"
#include "TestSupport.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
