// CPU time taken by Cellwise while the Monitor page animates on screen, and while its window is
// hidden (closed to the tray), on the simulated battery with the monitor ticking once a second.
// Needs a display: xvfb-run -a bench/bench_dashboard_cpu [SECONDS]   (default 60 s per phase)
#include "BatteryRegistry.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDashboardVC.h"
#include "CWDashboardView.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWUtil.h"
#include "CpuTime.h"
#include "ScratchHome.h"
#include "SimulatedBattery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <cstdio>

namespace {

void measure(const char *phase, double seconds)
{
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuSeconds();
    runEventLoopFor(static_cast<int>(seconds * 1000));
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    std::printf("%-40s %6.3f s CPU in %5.1f s: %5.2f %% of one core\n", phase, cpu, elapsed, 100.0 * cpu / elapsed);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const ScratchHome home;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwise"));
    const double seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 60.0;

    CWUtil::registerAppFonts();
    BatteryRegistry::install(std::make_unique<SimulatedBattery>(1.0));
    CWAppDelegate::registerDefaults();
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    monitor->setUpdateInterval(1.0);
    monitor->startUpdating();

    CWDisplayController displayController(*monitor, &CWLog::sharedLog, [] { return QVariantList(); });
    displayController.showMainWindow();
    displayController.pageSelector()->setSelectedIndex(CWDisplayController::Monitor);
    runEventLoopFor(2000); // the first drawing of every piece is not the steady state
    const bool animating = displayController.dashboardVC()->dashboardView()->isAnimating();
    measure(animating ? "Monitor page on screen, animating:" : "Monitor page on screen, NOT animating:", seconds);

    displayController.mainWindow()->hide();
    runEventLoopFor(1000);
    measure(displayController.dashboardVC()->dashboardView()->isAnimating() ? "Window hidden, STILL animating:"
                                                                            : "Window hidden:",
            seconds);
    monitor->stopUpdating();
    return 0;
}
