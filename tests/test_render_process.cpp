// `cellwise --render`: pictures of pages taken off screen from one battery reading, beside a
// running Cellwise, writing nothing but the picture.
#include "CWGraphSamples.h"
#include "SingleInstance.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

struct Outcome {
    int status;
    QString errors;
};

class RenderRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeTextFile(sysfs.path(), u"class/power_supply/BAT0/uevent"_s,
                      u"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_VOLTAGE_NOW=11400000\n"
                      "POWER_SUPPLY_CURRENT_NOW=900000\nPOWER_SUPPLY_CHARGE_FULL=4000000\n"
                      "POWER_SUPPLY_CHARGE_NOW=2600000\n"_s);
        writeTextFile(sysfs.path(), u"class/power_supply/AC/uevent"_s, u"POWER_SUPPLY_TYPE=Mains\n"_s);
    }

    QString output(const char *name) const { return out.filePath(QString::fromLatin1(name)); }

    Outcome render(const QStringList &arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"CELLWISE_SYSFS_ROOT"_s, sysfs.path());
        environment.insert(u"XDG_DATA_HOME"_s, home.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        // No display at all: the picture is drawn off screen.
        for (const QString &display : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(display);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CELLWISE_BINARY), QStringList{u"--render"_s} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }

    QTemporaryDir sysfs, home, out, runtime;
};

bool hasArrowBlue(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            count += isArrowBlue(image.pixel(x, y));
    }
    return count > 50;
}

// Pixels of the voltage line's yellow inside the top graph of a 400 x 300 picture.
int yellowPixels(const QImage &image)
{
    int count = 0;
    for (int y = 60; y < 190; ++y) {
        for (int x = 100; x < 380; ++x) {
            const QColor color = image.pixelColor(x, y);
            count += color.red() > 100 && color.green() > 100 && color.blue() < color.red() / 2;
        }
    }
    return count;
}

} // namespace

TEST_F(RenderRun, EveryPageBesideARunningCellwiseWritingNothingElse)
{
    // A log of an earlier run, and a Cellwise holding the single-instance lock.
    const QString support = home.path() + u"/Cellwise"_s;
    QDir().mkpath(support);
    const QString logPath = support + u"/battLog3.sqlite"_s;
    CWLog::initWithFile(logPath)->logMonitoringStarted();
    // A day of every sample, longer than the graph reads at once: the picture waits for all of it.
    LogFile(logPath).exec(QString::asprintf("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < "
                                            "%lld) INSERT INTO battlog (time, Voltage) SELECT %lld + i, 12000 FROM n",
                                            CWGraphSamples::kSliceRows + 99,
                                            QDateTime(QDate(2024, 3, 1), QTime(1, 0)).toSecsSinceEpoch()));
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
        {{u"monitor"_s}, "monitor.png", QSize(1000, 640)},
        {{u"monitor"_s, u"--simulate-battery"_s, u"--size"_s, u"700x450"_s}, "simulated.png", QSize(700, 450)},
        {{u"graph"_s, u"--size=400x300"_s}, "graph.png", QSize(400, 300)},
        {{u"graph"_s, u"--range=2024-01-01..2024-01-31"_s, u"--size=400x300"_s}, "graph-january.png", QSize(400, 300)},
        {{u"graph"_s, u"--range=2024-03-01..2024-03-02"_s, u"--size=400x300"_s}, "graph-march.png", QSize(400, 300)},
        {{u"comparisons"_s, u"--size=400x300"_s}, "comparisons.png", QSize(400, 300)},
        {{u"battery-data"_s, u"--size=400x300"_s}, "battery-data.png", QSize(400, 300)},
        {{u"event-log"_s, u"--size=400x300"_s}, "event-log.PNG", QSize(400, 300)},
        {{u"monitor"_s}, "monitor.pdf", QSize()},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        const Outcome outcome = render(row.arguments + QStringList{u"--output"_s, output(row.file)});
        EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
        if (row.size.isEmpty()) {
            QFile pdf(output(row.file));
            ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
            EXPECT_TRUE(pdf.read(5) == "%PDF-");
            continue;
        }
        const QImage image(output(row.file), "PNG");
        EXPECT_EQ(image.size(), row.size);
        if (row.arguments.first() == u"monitor"_s) {
            EXPECT_TRUE(hasArrowBlue(image)) << "the battery-to-computer arrow runs";
        }
    }

    EXPECT_EQ(yellowPixels(QImage(output("graph-january.png"))), 0);
    EXPECT_GT(yellowPixels(QImage(output("graph-march.png"))), 100) << "all of the day's voltage is drawn";

    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(logFile.readAll(), logBefore) << "the log is only read";
    EXPECT_EQ(QDir(support).entryList(QDir::Files | QDir::NoDotAndDotDot).filter(u"battLog3"_s),
              QStringList({u"battLog3.sqlite"_s, u"battLog3.sqlite-shm"_s, u"battLog3.sqlite-wal"_s}));
}

TEST_F(RenderRun, MistakesGiveOneLineAndStatus2)
{
    const QStringList rows[] = {
        {u"graphs"_s, u"--output"_s, output("a.png")},
        {u"monitor"_s, u"--output"_s, output("a.jpg")},
        {u"monitor"_s},
        {u"monitor"_s, u"--size"_s, u"0x10"_s, u"--output"_s, output("a.png")},
        {u"monitor"_s, u"--size"_s, u"wide"_s, u"--output"_s, output("a.png")},
        {u"monitor"_s, u"--output"_s, out.path() + u"/missing/dir/a.png"_s},
        {u"graph"_s, u"--range"_s, u"soon"_s, u"--output"_s, output("a.png")},
        {u"monitor"_s, u"--range"_s, u"1h"_s, u"--output"_s, output("a.png")},
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
