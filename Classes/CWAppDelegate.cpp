#include "CWAppDelegate.h"

#include "AlertPanel.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWPrefsWC.h"
#include "Console.h"
#include "UserDefaults.h"

namespace {
CWAppDelegate *currentDelegate = nullptr;
} // namespace

CWAppDelegate::CWAppDelegate(QObject *parent)
    : QObject(parent)
{
    currentDelegate = this;
}

CWAppDelegate::~CWAppDelegate()
{
    if (currentDelegate == this)
        currentDelegate = nullptr;
}

CWAppDelegate *CWAppDelegate::sharedDelegate()
{
    return currentDelegate;
}

QVariantMap CWAppDelegate::registeredDefaults()
{
    return {
        {QStringLiteral("CWShowWindowOnActivate"), true},
        {QStringLiteral("CWDefaultBattUnit"), 1},
        {QStringLiteral("CWDefaultTemperatureUnit"), 1},
        {QStringLiteral("CWVoltsSpread"), 6.0},
        {QStringLiteral("CWMaxAH"), 8.0},
        {QStringLiteral("CWBattNominalVoltage"), 11.1},
        {QStringLiteral("CWEventLogShowBattData"), true},
        {QStringLiteral("CWAskedAboutSendBattDataToServer"), false},
        {QStringLiteral("CWSendBattDataToServer"), false},
    };
}

void CWAppDelegate::applicationDidFinishLaunching()
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    if (!CWBatteryMonitor::machineHasBattery()) {
        AlertPanel::run({tr("No Battery"),
                         tr("Cellwise was unable to locate a battery in your computer. Cellwise is only compatible with MacBooks."),
                         tr("Quit"), QString(), QString()});
        Q_EMIT terminateRequested();
        return;
    }
    monitor->setUpdateInterval(1.0);
    monitor->startUpdating();
    UserDefaults::standard().registerDefaults(registeredDefaults());
    if (CWLog *log = CWLog::sharedLog())
        log->signifyMissing();
    if (_displayController)
        _displayController->showMainWindow();
    if (monitor->hasBattery() && !UserDefaults::standard().boolForKey(QStringLiteral("CWAskedAboutSendBattDataToServer")))
        _askForConsent();
    if (_displayController && _displayController->pageSelector())
        _displayController->pageSelector()->setSelectedIndex(CWDisplayController::Monitor);
}

void CWAppDelegate::_askForConsent()
{
    const AlertPanel::Response response = AlertPanel::run(
        {tr("Share your battery data?"),
         tr("Would you like to allow Cellwise to send your non-personal battery statistics to our servers? "
            "Your data will be used to compute averages for MacBook battery data."),
         tr("Allow"), tr("Disallow"), tr("Decide Later")});
    if (response == AlertPanel::Response::Other)
        return;
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setBool(QStringLiteral("CWAskedAboutSendBattDataToServer"), true);
    defaults.setBool(QStringLiteral("CWSendBattDataToServer"), response == AlertPanel::Response::Default);
}

void CWAppDelegate::applicationWillBecomeActive()
{
    if (_displayController && UserDefaults::standard().boolForKey(QStringLiteral("CWShowWindowOnActivate")))
        _displayController->showMainWindow();
}

void CWAppDelegate::applicationWillTerminate()
{
    stopMonitoring();
}

void CWAppDelegate::stopMonitoring()
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    // A launch refused for want of a battery never opened the log: do not create one now.
    if (!monitor->isUpdating())
        return;
    monitor->stopUpdating();
    CWLog *log = CWLog::sharedLog();
    if (!log || !log->closeDB())
        Console::line(QStringLiteral("ERROR: Unable to properly close DB log file."));
}

void CWAppDelegate::showPrefs()
{
    if (!_prefsWC)
        _prefsWC = std::make_unique<CWPrefsWC>();
    _prefsWC->showWindow();
}

void CWAppDelegate::gotBattData(const QVariant &battData)
{
    _battData = battData.toList();
}

void CWAppDelegate::gotPBModels(const QVariant &models)
{
    QVariantList merged;
    for (const QVariant &item : models.toList()) {
        QVariantMap model = item.toMap();
        const qint64 modelID = model.value(QStringLiteral("pb_modelid")).toLongLong();
        const auto averages = std::find_if(_battData.cbegin(), _battData.cend(), [modelID](const QVariant &record) {
            return record.toMap().value(QStringLiteral("pb_modelid")).toLongLong() == modelID;
        });
        if (averages == _battData.cend()) {
            Console::line(QString::asprintf("Model ID %lli not found.", modelID));
            continue;
        }
        model.insert(QStringLiteral("battData"), *averages);
        merged << model;
    }
    _pbdb = merged;
}
