#pragma once

#include "LXCWServer.h"
#include "Subscription.h"

#include <QObject>
#include <QVariantList>
#include <QVariantMap>
#include <memory>

class CWBatteryMonitor;
class CWDisplayController;
class CWPrefsWC;
class LXVersionChecker;

// The application's launch, activation and termination: refuses machines without a battery,
// starts the monitor and the log, shows the main window, asks once for consent to share data, and
// keeps what the statistics server says about the machine's model and the others.
class CWAppDelegate : public QObject, public LXCWServerDelegate {
    Q_OBJECT
public:
    explicit CWAppDelegate(QObject *parent = nullptr);
    ~CWAppDelegate() override;

    // Registers the user defaults with the values they have until the user changes them. Runs
    // first, before anything reads a setting.
    static void registerDefaults();
    // Starts the monitor, with the upload of the run's first sample when the user consented, and
    // classifies the samples earlier runs left unclassified.
    void startMonitoring();
    // Stops the monitor (writing its stop marker) and closes the log, if monitoring ever started.
    static void stopMonitoring();

    void applicationDidFinishLaunching();
    void applicationWillBecomeActive();
    void applicationWillTerminate();
    void showPrefs();

    CWDisplayController *displayController() const { return _displayController; }
    void setDisplayController(CWDisplayController *displayController) { _displayController = displayController; }
    CWPrefsWC *prefsWC() const { return _prefsWC.get(); }
    // The server's models, each with its averages under "battData".
    const QVariantList &pbdb() const { return _pbdb; }

    // Replies of the statistics server, each starting the next request of the chain: registration,
    // then the averages, then the models. A null QVariant stands for a failed download.
    void gotNewMachineID(qint32 machineID) override;
    void gotBattData(const QVariant &battData) override;
    void gotPBModels(const QVariant &models) override;
    void sentBattData() override;

Q_SIGNALS:
    // Launching found no battery and the user has been told: the application should quit.
    void terminateRequested();

private:
    void _uploadFirstSampleOfRun(CWBatteryMonitor *monitor);
    void _askForConsent();
    void _startServerChain(CWBatteryMonitor *monitor);

    CWDisplayController *_displayController = nullptr;
    QVariantList _battData;
    QVariantList _pbdb;
    std::unique_ptr<CWPrefsWC> _prefsWC;
    std::unique_ptr<LXVersionChecker> _vc;
    Subscription _firstSampleUpload;
    Subscription _logNotices;
};
