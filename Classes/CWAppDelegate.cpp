#include "CWAppDelegate.h"

#include "AlertPanel.h"
#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWLog.h"
#include "CWLogMaintenance.h"
#include "CWPrefsWC.h"
#include "Console.h"
#include "LXVersionChecker.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QHash>
#include <QTimer>

namespace {

// A server's model list is a few hundred models; a broken or hostile one must not flood the
// console or the model menu.
constexpr qsizetype kMaxModels = 10000;
constexpr int kMaxNotFoundLines = 10;

qint64 modelID(const QVariant &record)
{
    return record.toMap().value(QStringLiteral("pb_modelid")).toLongLong();
}

} // namespace

CWAppDelegate::CWAppDelegate(QObject *parent)
    : QObject(parent)
{
    // What the log did to its file (a damaged one moved aside) is said in the window once launching
    // is over, not in the middle of it.
    _logNotices = NotificationCenter::defaultCenter().addObserver(
        kCWLogNoticeNotification, nullptr, [this](const Notification &notice) {
            if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
                return; // headless: the console line is all there is
            QTimer::singleShot(0, this, [text = notice.userInfo.toString()] {
                AlertPanel::runWhenNoneOpen({tr("Battery log"), text, tr("OK"), QString(), QString()},
                                            [](AlertPanel::Response) {});
            });
        });
}

CWAppDelegate::~CWAppDelegate()
{
    // The client outlives us; replies still on their way must not reach a deleted delegate.
    if (LXCWServer::sharedServer()->delegate() == this)
        LXCWServer::sharedServer()->setDelegate(nullptr);
}

void CWAppDelegate::registerDefaults()
{
    UserDefaults::standard().registerDefaults({
        {QStringLiteral("CWShowWindowOnActivate"), true},
        {QStringLiteral("CWDefaultBattUnit"), 1},
        {QStringLiteral("CWDefaultTemperatureUnit"), 1},
        {QStringLiteral("CWVoltsSpread"), 6.0},
        {QStringLiteral("CWMaxAH"), 8.0},
        {QStringLiteral("CWBattNominalVoltage"), 11.1},
        {QStringLiteral("CWEventLogShowBattData"), true},
        {QStringLiteral("CWAskedAboutSendBattDataToServer"), false},
        {QStringLiteral("CWSendBattDataToServer"), false},
    });
}

void CWAppDelegate::applicationDidFinishLaunching()
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    _vc = std::make_unique<LXVersionChecker>();
    _vc->checkVersion();
    if (!CWBatteryMonitor::machineHasBattery()) {
        AlertPanel::run({tr("No Battery"),
                         tr("Cellwise was unable to locate a battery in your computer. Cellwise needs a laptop "
                            "battery, but it can run on its simulated battery with --simulate-battery."),
                         tr("Quit"), QString(), QString()});
        Q_EMIT terminateRequested();
        return;
    }
    startMonitoring();
    LXCWServer::sharedServer()->setDelegate(this);
    if (_displayController)
        _displayController->showMainWindow();
    _startServerChain(monitor);
    if (monitor->hasBattery()
        && !UserDefaults::standard().boolForKey(QStringLiteral("CWAskedAboutSendBattDataToServer")))
        _askForConsent();
    if (_displayController && _displayController->pageSelector())
        _displayController->pageSelector()->setSelectedIndex(CWDisplayController::Monitor);
}

void CWAppDelegate::startMonitoring()
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    _uploadFirstSampleOfRun(monitor);
    monitor->setUpdateInterval(1.0);
    monitor->startUpdating();
    CWLogMaintenance::start(this);
}

// With the user's consent the first sample the monitor logs in this run goes to the statistics
// server, whether or not storing it succeeded; later ones never do. Consent given after the run's
// first sample counts from the next one.
void CWAppDelegate::_uploadFirstSampleOfRun(CWBatteryMonitor *monitor)
{
    _firstSampleUpload = NotificationCenter::defaultCenter().addObserver(
        kCWSampleLoggedNotification, monitor, [this, monitor](const Notification &notification) {
            if (!UserDefaults::standard().boolForKey(QStringLiteral("CWSendBattDataToServer")))
                return;
            QVariantMap upload = notification.userInfo.toMap();
            upload.insert(QStringLiteral("machineID"), monitor->machineID());
            LXCWServer::sharedServer()->sendBattData(upload);
            _firstSampleUpload.reset();
        });
}

// A machine without an ID registers first (when its model is known); one with an ID goes straight
// to the averages. Each reply starts the next request.
void CWAppDelegate::_startServerChain(CWBatteryMonitor *monitor)
{
    if (monitor->machineID() >= 0) {
        LXCWServer::sharedServer()->getBattData();
        return;
    }
    const QString modelCode = monitor->modelCode();
    if (!modelCode.isEmpty())
        LXCWServer::sharedServer()->registerMachine(modelCode);
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
        _prefsWC = std::make_unique<CWPrefsWC>(CWLog::sharedLog());
    _prefsWC->showWindow();
}

void CWAppDelegate::gotNewMachineID(qint32 machineID)
{
    Console::line(QString::asprintf("Got new machine ID %i", machineID));
    // A failed registration stores -1 too: the next launch registers again.
    CWBatteryMonitor::sharedMonitor()->setMachineID(machineID);
    LXCWServer::sharedServer()->getBattData();
}

void CWAppDelegate::gotBattData(const QVariant &battData)
{
    _battData = battData.toList();
    LXCWServer::sharedServer()->getPBModels();
}

void CWAppDelegate::gotPBModels(const QVariant &models)
{
    // The first averages record of each model counts, as a search from the start would find it.
    QHash<qint64, QVariant> averagesByModel;
    for (const QVariant &record : std::as_const(_battData)) {
        if (!averagesByModel.contains(modelID(record)))
            averagesByModel.insert(modelID(record), record);
    }
    QVariantList merged;
    int notFound = 0;
    for (const QVariant &item : models.toList()) {
        if (merged.size() == kMaxModels) {
            Console::line(QStringLiteral("The statistics server lists more than %1 models; the rest are left out.")
                              .arg(kMaxModels));
            break;
        }
        const qint64 id = modelID(item);
        const auto averages = averagesByModel.constFind(id);
        if (averages == averagesByModel.cend()) {
            if (++notFound <= kMaxNotFoundLines)
                Console::line(QString::asprintf("Model ID %lli not found.", id));
            continue;
        }
        QVariantMap model = item.toMap();
        model.insert(QStringLiteral("battData"), *averages);
        merged << model;
    }
    if (notFound > kMaxNotFoundLines)
        Console::line(QStringLiteral("%1 more model IDs not found.").arg(notFound - kMaxNotFoundLines));
    _pbdb = merged;
}

void CWAppDelegate::sentBattData() {}
