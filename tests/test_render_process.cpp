// `cellwise --render`: pictures of pages taken off screen from one battery reading, beside a
// running Cellwise, writing nothing but the picture.
#include "CWLog.h"
#include "SingleInstance.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status;
    QString errors;
};

class RenderRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeTextFile(sysfs.path(), QStringLiteral("class/power_supply/BAT0/uevent"),
                      QStringLiteral("POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\n"
                                     "POWER_SUPPLY_PRESENT=1\nPOWER_SUPPLY_VOLTAGE_NOW=11400000\n"
                                     "POWER_SUPPLY_CURRENT_NOW=900000\nPOWER_SUPPLY_CHARGE_FULL=4000000\n"
                                     "POWER_SUPPLY_CHARGE_FULL_DESIGN=5000000\nPOWER_SUPPLY_CHARGE_NOW=2600000\n"));
        writeTextFile(sysfs.path(), QStringLiteral("class/power_supply/AC/uevent"),
                      QStringLiteral("POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=0\n"));
    }

    QString output(const char *name) const { return out.filePath(QString::fromLatin1(name)); }

    Outcome render(const QStringList &arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CELLWISE_SYSFS_ROOT"), sysfs.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        // No display at all: the picture is drawn off screen.
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CELLWISE_BINARY), QStringList{QStringLiteral("--render")} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }

    QTemporaryDir sysfs, home, out, runtime;
};

bool hasArrowBlue(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            count += qBlue(p) > qRed(p) + 60 && qGreen(p) > qRed(p) + 40;
        }
    }
    return count > 50;
}

} // namespace

TEST_F(RenderRun, EveryPageBesideARunningCellwiseWritingNothingElse)
{
    // A log of an earlier run, and a Cellwise holding the single-instance lock.
    const QString support = home.path() + QStringLiteral("/Cellwise");
    QDir().mkpath(support);
    const QString logPath = support + QStringLiteral("/battLog3.sqlite");
    CWLog::initWithFile(logPath)->logMonitoringStarted();
    QFile logFile(logPath);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QByteArray logBefore = logFile.readAll();
    logFile.close();
    SingleInstance running(support);
    ASSERT_TRUE(running.claim());

    struct Row {
        QStringList arguments;
        const char *file;
        QSize size;
    } rows[] = {
        {{QStringLiteral("monitor")}, "monitor.png", QSize(1000, 640)},
        {{QStringLiteral("monitor"), QStringLiteral("--simulate-battery"), QStringLiteral("--size"), QStringLiteral("700x450")},
         "simulated.png", QSize(700, 450)},
        {{QStringLiteral("graph"), QStringLiteral("--size=400x300")}, "graph.png", QSize(400, 300)},
        {{QStringLiteral("comparisons"), QStringLiteral("--size=400x300")}, "comparisons.png", QSize(400, 300)},
        {{QStringLiteral("battery-data"), QStringLiteral("--size=400x300")}, "battery-data.png", QSize(400, 300)},
        {{QStringLiteral("event-log"), QStringLiteral("--size=400x300")}, "event-log.PNG", QSize(400, 300)},
        {{QStringLiteral("monitor")}, "monitor.pdf", QSize()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        const Outcome outcome = render(row.arguments + QStringList{QStringLiteral("--output"), output(row.file)});
        EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
        if (row.size.isEmpty()) {
            QFile pdf(output(row.file));
            ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
            EXPECT_TRUE(pdf.read(5) == "%PDF-");
            continue;
        }
        const QImage image(output(row.file), "PNG");
        EXPECT_EQ(image.size(), row.size);
        if (row.arguments.first() == QStringLiteral("monitor")) {
            EXPECT_TRUE(hasArrowBlue(image)) << "the battery-to-computer arrow runs";
        }
    }

    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(logFile.readAll(), logBefore) << "the log is only read";
    EXPECT_EQ(QDir(support).entryList(QDir::Files | QDir::NoDotAndDotDot).filter(QStringLiteral("battLog3")),
              QStringList({QStringLiteral("battLog3.sqlite"), QStringLiteral("battLog3.sqlite-shm"), QStringLiteral("battLog3.sqlite-wal")}));
}

TEST_F(RenderRun, MistakesGiveOneLineAndStatus2)
{
    const QStringList rows[] = {
        {QStringLiteral("graphs"), QStringLiteral("--output"), output("a.png")},
        {QStringLiteral("monitor"), QStringLiteral("--output"), output("a.jpg")},
        {QStringLiteral("monitor")},
        {QStringLiteral("monitor"), QStringLiteral("--size"), QStringLiteral("0x10"), QStringLiteral("--output"), output("a.png")},
        {QStringLiteral("monitor"), QStringLiteral("--size"), QStringLiteral("wide"), QStringLiteral("--output"), output("a.png")},
        {QStringLiteral("monitor"), QStringLiteral("--output"), out.path() + QStringLiteral("/missing/dir/a.png")},
    };
    for (const QStringList &arguments : rows) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const Outcome outcome = render(arguments);
        EXPECT_EQ(outcome.status, 2);
        const QStringList lines = outcome.errors.split(u'\n');
        ASSERT_FALSE(outcome.errors.isEmpty());
        EXPECT_EQ(lines.size(), 1) << outcome.errors.toStdString();
    }
    EXPECT_TRUE(QDir(out.path()).isEmpty()) << "no picture from a mistake";
}
