// Process entry: seeds the random generator, reads the options and runs Cellwise with its window,
// or headless.
#include "BatteryRegistry.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWExportCommand.h"
#include "CWExportHistoryWC.h"
#include "CWLog.h"
#include "CWPageSelectorView.h"
#include "CWRenderCommand.h"
#include "CWReportCommand.h"
#include "CWTrayIcon.h"
#include "CWUtil.h"
#include "Console.h"
#include "SimulatedBattery.h"
#include "SingleInstance.h"
#include "SupportDirectory.h"
#include "UnixSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

struct Options {
    bool headless = false;
    bool background = false;
    std::optional<double> simulationSpeed;
    std::optional<CWRenderCommand::Request> render;
    std::optional<CWExportCommand::Request> exportCsv;
    std::optional<CWReportCommand::Request> report;
};

// "--simulate-battery" may stand alone or carry a speed ("--simulate-battery=60").
QStringList withExplicitSimulationSpeed(const QStringList &arguments)
{
    QStringList result = arguments;
    for (QString &argument : result) {
        if (argument == QLatin1String("--simulate-battery"))
            argument += QStringLiteral("=1");
    }
    return result;
}

Options parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Watches the laptop's battery and keeps its history."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral(
                                          "Log in the background without a window until SIGINT or SIGTERM."));
    const QCommandLineOption simulate(QStringLiteral("simulate-battery"),
                                      QStringLiteral(
                                          "Use a simulated battery whose clock runs SPEED times faster (default 1)."),
                                      QStringLiteral("SPEED"));
    const QCommandLineOption render(QStringLiteral("render"),
                                    QStringLiteral("Save a picture of PAGE (%1) and quit, without a window.")
                                        .arg(CWRenderCommand::pageNames().join(QStringLiteral(", "))),
                                    QStringLiteral("PAGE"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("The picture's file, .png or .pdf (with --render)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("The picture's size in pixels (with --render; default 1000x640)."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption range(QStringLiteral("range"),
                                   QStringLiteral("The graph's range (with --render graph): 1h, 1d, 30d, 1y up to now, "
                                                  "or FROM..TO with dates as YYYY-MM-DD; default the last hour."),
                                   QStringLiteral("RANGE"));
    const QCommandLineOption background(
        QStringLiteral("background"),
        QStringLiteral("Log with the tray icon and no window (as --headless where there is no tray)."));
    const QCommandLineOption exportCsv(
        QStringLiteral("export-csv"),
        QStringLiteral("Write the battery history to FILE as CSV (\"-\": standard output) and quit."),
        QStringLiteral("FILE"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("The first day to export (with --export-csv)."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("The last day to export (with --export-csv)."),
                                QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption events(QStringLiteral("events"),
                                    QStringLiteral("Export the events instead of the samples (with --export-csv)."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral(
                                        "Write the battery report to FILE as HTML (\"-\": standard output) and quit."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral(
                                      "The days of capacity history in the report (with --report; default all)."),
                                  QStringLiteral("N"));
    parser.addOption(headless);
    parser.addOption(background);
    parser.addOption(exportCsv);
    parser.addOption(from);
    parser.addOption(to);
    parser.addOption(events);
    parser.addOption(report);
    parser.addOption(days);
    parser.addOption(simulate);
    parser.addOption(render);
    parser.addOption(output);
    parser.addOption(size);
    parser.addOption(range);
    parser.process(withExplicitSimulationSpeed(arguments));

    Options options;
    options.headless = parser.isSet(headless);
    options.background = parser.isSet(background);
    if (parser.isSet(simulate)) {
        bool ok = false;
        const double speed = parser.value(simulate).toDouble(&ok);
        if (!ok || speed <= 0.0) {
            Console::line(QStringLiteral("The simulation speed must be a positive number."));
            std::exit(2);
        }
        options.simulationSpeed = speed;
    }
    if (parser.isSet(render)) {
        QString error;
        options.render = CWRenderCommand::parse(parser.value(render), parser.value(output), parser.value(size),
                                                parser.value(range), &error);
        if (!options.render) {
            Console::line(error);
            std::exit(CWRenderCommand::kUsageError);
        }
    }
    if (parser.isSet(exportCsv)) {
        QString error;
        options.exportCsv = CWExportCommand::parse(parser.value(exportCsv), parser.value(from), parser.value(to),
                                                   parser.isSet(events), &error);
        if (!options.exportCsv) {
            Console::line(error);
            std::exit(CWExportCommand::kUsageError);
        }
    }
    if (parser.isSet(report)) {
        QString error;
        options.report = CWReportCommand::parse(parser.value(report), parser.value(days), &error);
        if (!options.report) {
            Console::line(error);
            std::exit(CWReportCommand::kUsageError);
        }
    }
    return options;
}

int runHeadless(QCoreApplication &app)
{
    if (!CWBatteryMonitor::machineHasBattery()) {
        Console::line(QStringLiteral("Cellwise was unable to locate a battery in your computer. "
                                     "Start it with --simulate-battery to run on a simulated one."));
        return 1;
    }
    CWAppDelegate delegate;
    delegate.startMonitoring();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &CWAppDelegate::stopMonitoring);
    return app.exec();
}

// The application's icon, drawn by the artwork generator, at the sizes it comes in.
QIcon applicationIcon()
{
    QIcon icon;
    for (int side : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/cellwise-%1.png").arg(side));
    return icon;
}

// The box shows the application's window icon.
void showAbout()
{
    QMessageBox::about(nullptr, QObject::tr("About Cellwise"),
                       QObject::tr(
                           "<b>Cellwise %1</b><p>Watches your laptop's battery and keeps its whole history.</p>")
                           .arg(QCoreApplication::applicationVersion()));
}

// Shows the window; one started in the background gets its first page when first shown.
void showWindow(CWDisplayController &displayController)
{
    displayController.showMainWindow();
    if (displayController.currentPage() < 0 && displayController.pageSelector())
        displayController.pageSelector()->setSelectedIndex(CWDisplayController::Monitor);
}

int runWithWindow(QApplication &app, SingleInstance &instance, bool background)
{
    CWUtil::registerAppFonts();
    QApplication::setWindowIcon(applicationIcon());
    const CWBatteryMonitor &monitor = *CWBatteryMonitor::sharedMonitor();
    CWAppDelegate delegate;
    CWDisplayController displayController(monitor, &CWLog::sharedLog, [&delegate] { return delegate.pbdb(); });
    // In the background the launch shows no window: the delegate meets the window only afterwards.
    if (!background)
        delegate.setDisplayController(&displayController);
    CWExportHistoryWC exportHistoryWC;

    // With a tray, closing the window keeps Cellwise logging; without one, closing it quits.
    std::unique_ptr<CWTrayIcon> tray;
    if (CWTrayIcon::isAvailable()) {
        tray = std::make_unique<CWTrayIcon>(monitor);
        QObject::connect(tray.get(), &CWTrayIcon::activated, &delegate, &CWAppDelegate::applicationWillBecomeActive);
        QObject::connect(tray.get(), &CWTrayIcon::showWindowRequested, &displayController,
                         [&displayController] { showWindow(displayController); });
        QObject::connect(tray.get(), &CWTrayIcon::preferencesRequested, &delegate, &CWAppDelegate::showPrefs);
        QObject::connect(tray.get(), &CWTrayIcon::quitRequested, &app, &QCoreApplication::quit);
        tray->show();
    }
    QApplication::setQuitOnLastWindowClosed(!tray);

    QObject::connect(&displayController, &CWDisplayController::preferencesRequested, &delegate,
                     &CWAppDelegate::showPrefs);
    QObject::connect(&displayController, &CWDisplayController::aboutRequested, &showAbout);
    QObject::connect(&displayController, &CWDisplayController::exportHistoryRequested, &exportHistoryWC,
                     [&exportHistoryWC, &displayController] {
                         exportHistoryWC.showWindow(displayController.mainWindow());
                     });
    QObject::connect(&displayController, &CWDisplayController::batteryReportRequested, &CWReportCommand::openInBrowser);
    QObject::connect(&displayController, &CWDisplayController::quitRequested, &app, &QCoreApplication::quit);
    QObject::connect(&delegate, &CWAppDelegate::terminateRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // A second launch is the application becoming active.
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate,
                     &CWAppDelegate::applicationWillBecomeActive);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &CWAppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, &delegate, [&delegate, &displayController, background] {
        delegate.applicationDidFinishLaunching();
        if (background)
            delegate.setDisplayController(&displayController);
    });
    return app.exec();
}

// True when the systemd user unit is logging: a second Cellwise then has no window to raise.
bool headlessServiceRuns()
{
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("--quiet"),
                                                  QStringLiteral("is-active"), QStringLiteral("cellwise.service")});
    return systemctl.waitForFinished(2000) && systemctl.exitStatus() == QProcess::NormalExit
           && systemctl.exitCode() == 0;
}

// A desktop user never sees the console: a launch that found Cellwise logging without a window says so.
void tellAlreadyLoggingHeadless()
{
    QApplication::setWindowIcon(applicationIcon());
    QMessageBox::information(nullptr, QObject::tr("Cellwise"),
                             QObject::tr("<b>Cellwise is already logging in the background.</b><p>The systemd user "
                                         "service cellwise.service keeps the battery history without a window, and "
                                         "only one Cellwise logs at a time. To use the window, stop the service "
                                         "first:</p><p><tt>systemctl --user stop cellwise</tt></p>"));
}

} // namespace

int main(int argc, char **argv)
{
    Console::routeQtMessages();
    std::srand(std::random_device{}());
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const auto given = [&arguments](const char *option) {
        return std::any_of(arguments.cbegin(), arguments.cend(),
                           [option](const QString &argument) { return argument.startsWith(QLatin1String(option)); });
    };
    const bool headless = arguments.contains(QStringLiteral("--headless"));
    const bool render = given("--render");
    // Pictures of pages are drawn off screen: they need no display.
    if (render)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Headless runs, exports, reports and the answers to --version and --help need no display: they work
    // over SSH too.
    const bool needsNoDisplay = headless || given("--export-csv") || given("--report") || given("--version")
                                || given("--help") || arguments.contains(QStringLiteral("-v"))
                                || arguments.contains(QStringLiteral("-h"));
    std::unique_ptr<QCoreApplication> app = needsNoDisplay && !render ? std::make_unique<QCoreApplication>(argc, argv)
                                                                      : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Cellwise"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CELLWISE_VERSION));
    const Options options = parseOptions(arguments);
    CWAppDelegate::registerDefaults();
    if (options.simulationSpeed) {
        BatteryRegistry::install(std::make_unique<SimulatedBattery>(*options.simulationSpeed));
        Console::line(QStringLiteral("Running on the simulated battery."));
    }
    if (options.render) {
        // Beside a running Cellwise: no claim on the single instance, nothing written but the picture.
        CWUtil::registerAppFonts();
        return CWRenderCommand::run(*options.render);
    }
    if (options.exportCsv)
        return CWExportCommand::run(*options.exportCsv);
    if (options.report)
        return CWReportCommand::run(*options.report);

    SingleInstance instance(supportDirectory());
    if (!instance.claim()) {
        Console::line(QStringLiteral("Cellwise is already running; it has been asked to show its window."));
        if (!headless && !options.background && headlessServiceRuns())
            tellAlreadyLoggingHeadless();
        return 0;
    }
    UnixSignals::onTermination([](int) { QCoreApplication::quit(); });
    // Started at login without a tray to sit in, Cellwise logs as it does headless.
    if (headless || (options.background && !CWTrayIcon::isAvailable()))
        return runHeadless(*app);

    return runWithWindow(static_cast<QApplication &>(*app), instance, options.background);
}
