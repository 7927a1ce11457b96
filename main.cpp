// Process entry: seeds the random generator, reads the options and runs Cellwise with its window,
// or headless.
#include "BatteryRegistry.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWRenderCommand.h"
#include "CWTrayIcon.h"
#include "CWUtil.h"
#include "Console.h"
#include "SimulatedBattery.h"
#include "SingleInstance.h"
#include "SupportDirectory.h"
#include "UnixSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

struct Options {
    bool headless = false;
    std::optional<double> simulationSpeed;
    std::optional<CWRenderCommand::Request> render;
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
                                      QStringLiteral("Log in the background without a window until SIGINT or SIGTERM."));
    const QCommandLineOption simulate(QStringLiteral("simulate-battery"),
                                      QStringLiteral("Use a simulated battery whose clock runs SPEED times faster (default 1)."),
                                      QStringLiteral("SPEED"));
    const QCommandLineOption render(QStringLiteral("render"),
                                    QStringLiteral("Save a picture of PAGE (%1) and quit, without a window.")
                                        .arg(CWRenderCommand::pageNames().join(QStringLiteral(", "))),
                                    QStringLiteral("PAGE"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The picture's file, .png or .pdf (with --render)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("The picture's size in pixels (with --render; default 1000x640)."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption range(QStringLiteral("range"),
                                   QStringLiteral("The graph's range (with --render graph): 1h, 1d, 30d, 1y up to now, "
                                                  "or FROM..TO with dates as YYYY-MM-DD; default the last hour."),
                                   QStringLiteral("RANGE"));
    parser.addOption(headless);
    parser.addOption(simulate);
    parser.addOption(render);
    parser.addOption(output);
    parser.addOption(size);
    parser.addOption(range);
    parser.process(withExplicitSimulationSpeed(arguments));

    Options options;
    options.headless = parser.isSet(headless);
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
        options.render =
            CWRenderCommand::parse(parser.value(render), parser.value(output), parser.value(size), parser.value(range), &error);
        if (!options.render) {
            Console::line(error);
            std::exit(CWRenderCommand::kUsageError);
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

void showAbout()
{
    QMessageBox::about(nullptr, QObject::tr("About Cellwise"),
                       QObject::tr("<b>Cellwise %1</b><p>Watches your laptop's battery and keeps its whole history.</p>")
                           .arg(QCoreApplication::applicationVersion()));
}

int runWithWindow(QApplication &app, SingleInstance &instance)
{
    CWUtil::registerAppFonts();
    QApplication::setWindowIcon(CWTrayIcon::batteryIcon(1.0));
    const CWBatteryMonitor &monitor = *CWBatteryMonitor::sharedMonitor();
    CWAppDelegate delegate;
    CWDisplayController displayController(monitor, &CWLog::sharedLog, [&delegate] { return delegate.pbdb(); });
    delegate.setDisplayController(&displayController);

    // With a tray, closing the window keeps Cellwise logging; without one, closing it quits.
    std::unique_ptr<CWTrayIcon> tray;
    if (CWTrayIcon::isAvailable()) {
        tray = std::make_unique<CWTrayIcon>(monitor);
        QObject::connect(tray.get(), &CWTrayIcon::activated, &delegate, &CWAppDelegate::applicationWillBecomeActive);
        QObject::connect(tray.get(), &CWTrayIcon::showWindowRequested, &displayController, &CWDisplayController::showMainWindow);
        QObject::connect(tray.get(), &CWTrayIcon::preferencesRequested, &delegate, &CWAppDelegate::showPrefs);
        QObject::connect(tray.get(), &CWTrayIcon::quitRequested, &app, &QCoreApplication::quit);
        tray->show();
    }
    QApplication::setQuitOnLastWindowClosed(!tray);

    QObject::connect(&displayController, &CWDisplayController::preferencesRequested, &delegate, &CWAppDelegate::showPrefs);
    QObject::connect(&displayController, &CWDisplayController::aboutRequested, &showAbout);
    QObject::connect(&displayController, &CWDisplayController::quitRequested, &app, &QCoreApplication::quit);
    QObject::connect(&delegate, &CWAppDelegate::terminateRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // A second launch is the application becoming active.
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate, &CWAppDelegate::applicationWillBecomeActive);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &CWAppDelegate::applicationWillTerminate);
    QTimer::singleShot(0, &delegate, &CWAppDelegate::applicationDidFinishLaunching);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    Console::routeQtMessages();
    std::srand(std::random_device{}());
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool headless = arguments.contains(QStringLiteral("--headless"));
    const bool render = std::any_of(arguments.cbegin(), arguments.cend(),
                                    [](const QString &argument) { return argument.startsWith(QStringLiteral("--render")); });
    // Pictures of pages are drawn off screen: they need no display.
    if (render)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Headless runs need no display.
    std::unique_ptr<QCoreApplication> app = headless && !render ? std::make_unique<QCoreApplication>(argc, argv)
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

    SingleInstance instance(supportDirectory());
    if (!instance.claim()) {
        Console::line(QStringLiteral("Cellwise is already running; it has been asked to show its window."));
        return 0;
    }
    UnixSignals::onTermination([](int) { QCoreApplication::quit(); });
    if (headless)
        return runHeadless(*app);

    return runWithWindow(static_cast<QApplication &>(*app), instance);
}
