// The Graph page on a long log. For the last hour, 2 days, 30 days and a year: one refresh split
// into reading the log, building the series and painting the graph at 1000 x 640, in CPU time of
// the process, both read afresh (a changed range) and followed (the 5-second tick of a range
// that ends now, with five new samples logged since). Then the CPU the process uses over a minute
// with the page shown on the last hour while a sample is logged every second, as the monitor would.
//
//   bench_graph_page [--log PATH] [--seconds N] [--screenshots DIR]
//
// Without --log a log of 3 million samples over 14 months is generated first. A --log file (from
// cellwise-genlog) gets new samples appended. --screenshots DIR saves the page at 1000 x 640 and
// 1600 x 1000 for each range.
#include "CWAppDelegate.h"
#include "CWCWGraphView.h"
#include "CWGraphSamples.h"
#include "CWGraphVC.h"
#include "CWLog.h"
#include "CWUtil.h"
#include "Console.h"
#include "CpuTime.h"
#include "LogGenerator.h"
#include "ScratchHome.h"
#include "SimulatedBattery.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

struct Range {
    const char *name;
    const char *text; // as the page reads it
    double seconds;
};
const Range kRanges[] = {{"1 h", "1h", 3'600},
                         {"2 d", "2d", 172'800},
                         {"30 d", "30d", 2'592'000},
                         {"1 y", "1y", 31'536'000}};

struct Split {
    double query = 0.0;  // ms
    double series = 0.0; // ms
    double paint = 0.0;  // ms
    size_t rows = 0;
};

// CPU time of this process, which other processes on a shared machine do not inflate. Not of this
// thread alone: Qt's raster engine hands large blends to threads of its own while this one waits.
double processMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Milliseconds since mark, moving mark on.
double lap(double &mark)
{
    const double now = processMs();
    const double ms = now - mark;
    mark = now;
    return ms;
}

// Logs a sample stamped now, as the monitor does on a changed reading.
void logSample()
{
    static double simulated = 0.0;
    simulated += SimulatedBattery::kReadingInterval;
    CWLog::sharedLog()->logBattDict(SimulatedBattery::snapshotAt(simulated));
}

// One refresh of the page's graph, as the page does it: read, build and add the series, paint.
Split refresh(CWGraphSamples &samples, CWCWGraphView &view, double seconds, bool follow)
{
    Split split;
    double mark = processMs();
    const QDateTime end = QDateTime::currentDateTime();
    const QDateTime start = end.addMSecs(-qint64(seconds * 1000));
    // A long window is read in slices; their sum is the read's cost.
    while (!samples.read(*CWLog::sharedLog(), start, end, CWGraphSamples::significanceMask(seconds), follow)) {
    }
    split.query = lap(mark);
    split.rows = samples.size();
    view.setSecondsAgo(seconds);
    view.updateGrid();
    const CWGraphSamples::Scale scale{double(start.toMSecsSinceEpoch()) / 1000.0,
                                      double(end.toMSecsSinceEpoch()) / 1000.0, 8.0, view.voltsMin(), view.voltsMax()};
    for (CWGraphSamples::PlacedSpec &placed :
         samples.graphSpecs(scale, {view.maxCapColor(), view.voltsColor(), view.tempColor(), view.currentCapColor()},
                            view.takeGraphVertices()))
        view.addGraphSpec(std::move(placed.spec), placed.list);
    split.series = lap(mark);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&image);
    split.paint = lap(mark);
    return split;
}

void print(const char *range, const char *kind, const Split &split)
{
    std::printf("%-5s %-9s %9zu %9.1f %9.1f %9.1f %9.1f\n", range, kind, split.rows, split.query, split.series,
                split.paint, split.query + split.series + split.paint);
}

void measureRefreshes()
{
    CWCWGraphView view;
    view.resize(1000, 640);
    view.setType(CWGradientView::Radial);
    view.setGradient({{0.0, CWUtil::hexColorToCGColor("181818")}, {1.0, CWUtil::hexColorToCGColor("1f1f1f")}});
    view.setNoise(0.06);
    std::printf("CPU ms of one refresh, painted at 1000 x 640\n%-5s %-9s %9s %9s %9s %9s %9s\n", "range", "refresh",
                "rows", "query", "series", "paint", "total");
    for (const Range &range : kRanges) {
        CWGraphSamples samples;
        print(range.name, "afresh", refresh(samples, view, range.seconds, false));
        Split ticks;
        constexpr int tickCount = 5;
        for (int tick = 0; tick < tickCount; ++tick) {
            for (int sample = 0; sample < 5; ++sample)
                logSample();
            const Split split = refresh(samples, view, range.seconds, true);
            ticks.query += split.query / tickCount;
            ticks.series += split.series / tickCount;
            ticks.paint += split.paint / tickCount;
            ticks.rows = split.rows;
        }
        print(range.name, "followed", ticks);
    }
}

void measureShownPage(int seconds)
{
    CWGraphVC page(QStringLiteral("CWGraphVC"), CWLog::sharedLog());
    QWidget *view = page.view();
    view->resize(1000, 680);
    view->show();
    page.activate();
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, &logSample);
    monitor.start(1000);
    QEventLoop settle;
    QTimer::singleShot(2000, &settle, &QEventLoop::quit);
    settle.exec();

    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = (cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
    std::printf("CPU with the page shown on the last hour, a sample logged every second: %.2f %% of a core over %d s\n",
                share * 100.0, seconds);
    page.deactivate();
}

void saveScreenshots(const QString &directory)
{
    QDir().mkpath(directory);
    CWGraphVC page(QStringLiteral("CWGraphVC"), CWLog::sharedLog());
    QWidget *view = page.view();
    for (const Range &range : kRanges) {
        page.setRange(QString::fromLatin1(range.text));
        while (page.isReading())
            QCoreApplication::processEvents();
        for (const QSize size : {QSize(1000, 640), QSize(1600, 1000)}) {
            view->resize(size);
            const QString file = QStringLiteral("%1/graph-%2-%3x%4.png")
                                     .arg(directory, QString::fromLatin1(range.text))
                                     .arg(size.width())
                                     .arg(size.height());
            view->grab().save(file);
            std::printf("saved %s\n", qPrintable(file));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    const ScratchHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CWUtil::registerAppFonts();

    QCommandLineParser parser;
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Log file to read."),
                                       QStringLiteral("PATH"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Seconds of the CPU measurement (60)."), QStringLiteral("N"),
                                           QStringLiteral("60"));
    const QCommandLineOption screenshotsOption(QStringLiteral("screenshots"), QStringLiteral("Folder for pictures."),
                                               QStringLiteral("DIR"));
    parser.addOptions({logOption, secondsOption, screenshotsOption});
    parser.process(app);

    if (parser.isSet(logOption)) {
        QFile::link(QFileInfo(parser.value(logOption)).absoluteFilePath(), CWLog::sharedLogFile());
    } else if (!LogGenerator::generate(CWLog::sharedLogFile(), {3'000'000, 14, 0, true})) {
        return 1;
    }
    if (!CWLog::sharedLog())
        return 1;
    Console::setSink([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    CWAppDelegate::registerDefaults();
    if (parser.isSet(screenshotsOption))
        saveScreenshots(parser.value(screenshotsOption));
    measureRefreshes();
    measureShownPage(parser.value(secondsOption).toInt());
    return 0;
}
