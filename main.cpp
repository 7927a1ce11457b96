// Process entry: seeds the random generator, reads the options and runs Cellwise.
#include "BatteryRegistry.h"
#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "Console.h"
#include "SimulatedBattery.h"
#include "UnixSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdlib>
#include <random>

namespace {

struct Options {
    bool headless = false;
    std::optional<double> simulationSpeed;
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

Options parseOptions(const QCoreApplication &app)
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
    parser.addOption(headless);
    parser.addOption(simulate);
    parser.process(withExplicitSimulationSpeed(app.arguments()));

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
    return options;
}

void stopMonitoring()
{
    CWBatteryMonitor::sharedMonitor()->stopUpdating();
    CWLog *log = CWLog::sharedLog();
    if (!log || !log->closeDB())
        Console::line(QStringLiteral("ERROR: Unable to properly close DB log file."));
}

int runHeadless(QCoreApplication &app)
{
    if (!CWBatteryMonitor::machineHasBattery()) {
        Console::line(QStringLiteral("Cellwise was unable to locate a battery in your computer. "
                                     "Start it with --simulate-battery to run on a simulated one."));
        return 1;
    }
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    monitor->setUpdateInterval(1.0);
    monitor->startUpdating();
    if (CWLog *log = CWLog::sharedLog())
        log->signifyMissing();
    UnixSignals::onTermination([&app](int) { app.quit(); });
    const int status = app.exec();
    stopMonitoring();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    std::srand(std::random_device{}());
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Cellwise"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CELLWISE_VERSION));
    const Options options = parseOptions(app);
    if (options.simulationSpeed) {
        BatteryRegistry::install(std::make_unique<SimulatedBattery>(*options.simulationSpeed));
        Console::line(QStringLiteral("Running on the simulated battery."));
    }
    if (!options.headless) {
        Console::line(QStringLiteral("Cellwise has no window yet: logging headless."));
    }
    return runHeadless(app);
}
