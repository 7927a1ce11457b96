#pragma once

#include "NotificationCenter.h"
#include "Subscription.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

// Posted on every tick, changed or not. The sender is the monitor; the second carries the new
// snapshot (or a null QVariant after a failed read) as its user info.
inline const QString kCWBatteryUpdatedNotification = QStringLiteral("CWBatteryUpdatedNotification");
inline const QString kCWLogUpdatedNotification = QStringLiteral("CWLogUpdatedNotification");
// Posted after the monitor handed a sample to the log, whether or not storing it succeeded. The
// sender is the monitor; the user info is the sample (an empty map after a failed read).
inline const QString kCWSampleLoggedNotification = QStringLiteral("CWSampleLoggedNotification");

// The single object that watches the battery: reads a snapshot every tick, logs changed snapshots
// and state changes, announces the derived properties that changed and posts the tick notifications.
class CWBatteryMonitor {
public:
    enum class ChangePhase { Will, Did };
    using ChangeObserver = std::function<void(ChangePhase)>;

    static CWBatteryMonitor *sharedMonitor();

    // Whether the machine has a battery entry at all (the instance's hasBattery() says whether a
    // pack is in it now).
    static bool machineHasBattery();
    static QDateTime manufactureDateFromCode(quint16 code);
    static QString minutesToString(qint64 minutes);
    static QString uniqueBattIDForDictionary(const QVariantMap &dict);

    CWBatteryMonitor();
    ~CWBatteryMonitor();
    CWBatteryMonitor(const CWBatteryMonitor &) = delete;
    CWBatteryMonitor &operator=(const CWBatteryMonitor &) = delete;

    void startUpdating();
    // One reading kept as the snapshot, neither logged nor announced: a picture of the present state.
    void readOnce();
    void stopUpdating();
    bool isUpdating() const { return _updateTimer != nullptr; }
    double updateInterval() const { return _updateInterval; }
    void setUpdateInterval(double seconds) { _updateInterval = seconds; }

    qint64 machineID() const;
    void setMachineID(qint64 machineID);
    QString modelCode() const;

    // The current snapshot (a QVariantMap), or a null QVariant before the first tick and after a
    // failed read.
    const QVariant &battInfo() const { return _battInfo; }
    QDateTime lastUpdated() const;
    QDateTime lastLogged() const;

    bool hasBattery() const;
    bool hasAdapter() const;
    bool isCharging() const;
    bool isFullyCharged() const;
    double timeLeft() const; // minutes
    QString serialNumber() const;
    QVariantList cellVoltage() const; // mV per cell
    qint64 designCapacity() const;    // mAh
    qint64 currentCapacity() const;   // mAh
    qint64 maxCapacity() const;       // mAh
    double chargeFract() const;
    qint64 cycleCount() const;
    qint64 maxCycles() const;
    qint64 firmwareSerialNumber() const;
    QDateTime manufactureDate() const;
    QByteArray manufacturerData() const;
    QString deviceName() const;
    double temperature() const; // degrees Celsius
    double voltage() const;     // V
    double amperage() const;    // A, positive only while the adapter is connected
    double wattage() const;     // W
    QString summary() const;

    // Called in a will-change phase before the snapshot is replaced and a did-change phase after,
    // until the subscription ends.
    Subscription addObserver(const QString &property, ChangeObserver observer);

    // Runs one tick now, as the timer does; tests drive the monitor with it instead of waiting.
    void tick() { _fireTimer(); }

private:
    std::optional<QVariantMap> _updatedBatteryInfo();
    void _fireTimer();
    QVariant value(const QString &key) const;
    qint64 integer(const QString &key) const;
    void _log(const QVariantMap &snapshot);
    QStringList _announcedProperties(const QVariant &next) const;
    void _announce(const QStringList &properties, ChangePhase phase);
    void _observeOwnState();
    void _logStateEvent(const QString &property);
    static QString _machineIDPath();

    double _updateInterval = 1.0;
    double _lastUpdatedTime = 0.0; // seconds since 2001-01-01 00:00:00 UTC
    double _lastLoggedTime = 0.0;  // same epoch
    QVariant _battInfo;
    std::unique_ptr<QTimer> _updateTimer;
    bool _logFailing = false; // the last sample could not be logged
    ObserverList<ChangePhase> _observers;
    std::vector<Subscription> _ownObservations;
};
