// Screenshots of the Monitor page in the real window, for looking at the artwork: discharging,
// charging, full on the adapter and with no battery installed, each with the page at 1000 x 640,
// 700 x 450 and 1600 x 1000 points. Run under a display:
//   xvfb-run -a -s "-screen 0 1920x1200x24" build/bench/cellwise-dashboard-screenshots OUTPUT_DIR
#include "BatteryRegistry.h"
#include "CWAppDelegate.h"
#include "CWBatteryMonitor.h"
#include "CWDashboardVC.h"
#include "CWDashboardView.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWUtil.h"
#include "ScratchHome.h"
#include "SimulatedBattery.h"
#include "SysfsBatteryRegistry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

// A reading the simulated pack gives part way through charging (it reports cells and temperature,
// as a MacBook's gauge does).
class ChargingBattery : public BatteryRegistry {
public:
    std::optional<QVariantMap> copyBatteryProperties() override
    {
        return SimulatedBattery::snapshotAt(kChargingSecond);
    }
    bool hasBatteryEntry() override { return true; }
    QString modelCode() override { return QStringLiteral("MacBookPro11,1"); }

private:
    static constexpr double kChargingSecond = 16000;
};

void writeFile(const QString &path, const QString &text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

// A sysfs tree as a typical Linux laptop has it: no temperature, no cell voltages.
void writeSysfs(const QString &root, const char *status, int present, int percent, bool adapter)
{
    writeFile(root + QStringLiteral("/class/power_supply/BAT0/uevent"),
              QStringLiteral("POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=%1\n"
                             "POWER_SUPPLY_PRESENT=%2\nPOWER_SUPPLY_VOLTAGE_NOW=11630000\n"
                             "POWER_SUPPLY_CURRENT_NOW=%3\nPOWER_SUPPLY_CHARGE_FULL=4210000\n"
                             "POWER_SUPPLY_CHARGE_FULL_DESIGN=4800000\nPOWER_SUPPLY_CHARGE_NOW=%4\n"
                             "POWER_SUPPLY_CYCLE_COUNT=287\n")
                  .arg(QLatin1String(status))
                  .arg(present)
                  .arg(adapter ? 0 : 812000)
                  .arg(4210000 / 100 * percent));
    writeFile(
        root + QStringLiteral("/class/power_supply/AC/uevent"),
        QStringLiteral("POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=%1\n").arg(adapter ? 1 : 0));
}

} // namespace

int main(int argc, char **argv)
{
    const ScratchHome home;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwise"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: cellwise-dashboard-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);
    CWUtil::registerAppFonts();
    CWAppDelegate::registerDefaults();

    CWDisplayController displayController(*CWBatteryMonitor::sharedMonitor(), &CWLog::sharedLog,
                                          [] { return QVariantList(); });
    displayController.showMainWindow();
    displayController.pageSelector()->setSelectedIndex(CWDisplayController::Monitor);
    QMainWindow *window = displayController.mainWindow();
    window->setMinimumSize(0, 0);

    struct State {
        const char *name;
        std::function<void(const QString &sysfs)> install;
    } states[] = {
        {"discharging", [](const QString &sysfs) { writeSysfs(sysfs, "Discharging", 1, 62, false); }},
        {"charging", [](const QString &) { BatteryRegistry::install(std::make_unique<ChargingBattery>()); }},
        {"full", [](const QString &sysfs) { writeSysfs(sysfs, "Full", 1, 100, true); }},
        {"no-battery", [](const QString &sysfs) { writeSysfs(sysfs, "Unknown", 0, 0, true); }},
    };
    const QSize sizes[] = {{1000, 640}, {700, 450}, {1600, 1000}};
    for (const State &state : states) {
        QTemporaryDir sysfs;
        qputenv("CELLWISE_SYSFS_ROOT", sysfs.path().toUtf8());
        BatteryRegistry::install(std::make_unique<SysfsBatteryRegistry>());
        state.install(sysfs.path());
        CWBatteryMonitor::sharedMonitor()->readOnce();
        displayController.dashboardVC()->dashboardView()->updateFromBatt();
        for (const QSize &size : sizes) {
            // The page gets what the page list and the menu bar leave of the window.
            window->resize(window->size() + size - displayController.mainContentView()->size());
            runEventLoopFor(600);
            const QPixmap shot = window->screen()->grabWindow(window->winId());
            const QString path = QStringLiteral("%1/monitor-%2-%3x%4.png")
                                     .arg(outputDir, QLatin1String(state.name))
                                     .arg(size.width())
                                     .arg(size.height());
            std::printf("%s %s (page %dx%d)\n", shot.save(path) ? "wrote" : "FAILED", qPrintable(path),
                        displayController.mainContentView()->width(), displayController.mainContentView()->height());
        }
    }
    return 0;
}
