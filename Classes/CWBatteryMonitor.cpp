#include "CWBatteryMonitor.h"

#include "BatteryKeys.h"
#include "BatteryRegistry.h"
#include "CWLog.h"
#include "Console.h"
#include "ManufactureDate.h"
#include "PropertyListWriter.h"
#include "SupportDirectory.h"
#include "TextNumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QTimer>

namespace {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the epoch of the tick times.
constexpr double kReferenceDateOffset = 978307200.0;

double nowSinceReferenceDate()
{
    return QDateTime::currentMSecsSinceEpoch() / 1000.0 - kReferenceDateOffset;
}

QDateTime dateFromReferenceTime(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qRound64((seconds + kReferenceDateOffset) * 1000.0));
}

// Which derived properties change when a registry key changes.
const QHash<QString, QStringList> &dependentProperties()
{
    static const QHash<QString, QStringList> table = {
        {BatteryKey::TimeRemaining, {QStringLiteral("timeLeft")}},
        {BatteryKey::PostChargeWaitSeconds, {QStringLiteral("postChargeWaitSeconds")}},
        {BatteryKey::CellVoltage, {QStringLiteral("cellVoltage")}},
        {BatteryKey::BatteryInvalidWakeSeconds, {QStringLiteral("batteryInvalidWakeSeconds")}},
        {BatteryKey::CurrentCapacity, {QStringLiteral("currentCapacity")}},
        {BatteryKey::MaxCapacity, {QStringLiteral("maxCapacity")}},
        {BatteryKey::Voltage, {QStringLiteral("voltage"), QStringLiteral("wattage")}},
        {BatteryKey::DesignCycleCount9C, {QStringLiteral("maxCycles")}},
        {BatteryKey::DesignCapacity, {QStringLiteral("designCapacity")}},
        {BatteryKey::Manufacturer, {QStringLiteral("manufacturer")}},
        {BatteryKey::FirmwareSerialNumber, {QStringLiteral("firmwareSerialNumber")}},
        {BatteryKey::BatteryInstalled, {QStringLiteral("hasBattery")}},
        {BatteryKey::CycleCount, {QStringLiteral("cycleCount")}},
        {BatteryKey::ManufactureDate, {QStringLiteral("manufactureDate")}},
        {BatteryKey::BatterySerialNumber, {QStringLiteral("batterySerialNumber")}},
        {BatteryKey::PostDischargeWaitSeconds, {QStringLiteral("postDischargeWaitSeconds")}},
        {BatteryKey::Temperature, {QStringLiteral("temperature")}},
        {BatteryKey::InstantAmperage, {QStringLiteral("amperage"), QStringLiteral("wattage")}},
        {BatteryKey::ManufacturerData, {QStringLiteral("manufacturerData")}},
        {BatteryKey::FullyCharged, {QStringLiteral("isFullyCharged")}},
        {BatteryKey::DeviceName, {QStringLiteral("deviceName")}},
        {BatteryKey::IsCharging, {QStringLiteral("isCharging")}},
        {BatteryKey::ExternalConnected, {QStringLiteral("hasAdapter")}},
    };
    return table;
}

// The four states the monitor turns into events, in the order it observes them.
const QStringList &stateProperties()
{
    static const QStringList properties = {QStringLiteral("hasAdapter"), QStringLiteral("hasBattery"),
                                           QStringLiteral("isCharging"), QStringLiteral("isFullyCharged")};
    return properties;
}

} // namespace

CWBatteryMonitor *CWBatteryMonitor::sharedMonitor()
{
    static CWBatteryMonitor monitor;
    return &monitor;
}

CWBatteryMonitor::CWBatteryMonitor() = default;
CWBatteryMonitor::~CWBatteryMonitor() = default;

bool CWBatteryMonitor::machineHasBattery()
{
    return BatteryRegistry::current().hasBatteryEntry();
}

QDateTime CWBatteryMonitor::manufactureDateFromCode(quint16 code)
{
    return ManufactureDate::midnightUtc(code);
}

QString CWBatteryMonitor::minutesToString(qint64 minutes)
{
    QString text;
    if (minutes < 0) {
        text += QLatin1Char('-');
        minutes = -minutes;
    }
    if (minutes >= 61)
        text += QString::asprintf("%lli h %lli m", minutes / 60, minutes % 60);
    else
        text += QString::asprintf("%lli m", minutes);
    return text;
}

QString CWBatteryMonitor::uniqueBattIDForDictionary(const QVariantMap &dict)
{
    const QVariant serial = dict.value(QStringLiteral("serial"));
    if (serial.isNull())
        return QStringLiteral("generic");
    return QStringLiteral("%1-%2-%3")
        .arg(dict.value(QStringLiteral("manufacturer")).toString(), dict.value(QStringLiteral("deviceName")).toString(),
             serial.toString());
}

void CWBatteryMonitor::startUpdating()
{
    if (_updateTimer)
        return;
    _observeOwnState();
    if (CWLog *log = CWLog::sharedLog())
        log->logMonitoringStarted();
    _updateTimer = std::make_unique<QTimer>();
    QObject::connect(_updateTimer.get(), &QTimer::timeout, [this] { _fireTimer(); });
    _updateTimer->start(qMax(1, qRound(_updateInterval * 1000.0)));
    _fireTimer();
}

void CWBatteryMonitor::readOnce()
{
    const std::optional<QVariantMap> read = _updatedBatteryInfo();
    _battInfo = read ? QVariant(*read) : QVariant();
    _lastUpdatedTime = nowSinceReferenceDate();
}

void CWBatteryMonitor::stopUpdating()
{
    _ownObservations.clear();
    _updateTimer.reset();
    if (CWLog *log = CWLog::sharedLog())
        log->logMonitoringStopped();
}

void CWBatteryMonitor::_observeOwnState()
{
    for (const QString &property : stateProperties()) {
        _ownObservations.push_back(addObserver(property, [this, property](ChangePhase phase) {
            if (phase == ChangePhase::Did)
                _logStateEvent(property);
        }));
    }
}

void CWBatteryMonitor::_logStateEvent(const QString &property)
{
    CWLog *log = CWLog::sharedLog();
    if (!log)
        return;
    if (property == QLatin1String("hasAdapter"))
        log->logEvent(hasAdapter() ? CWEventType::PluggedIn : CWEventType::Unplugged);
    else if (property == QLatin1String("hasBattery"))
        hasBattery() ? log->logEvent(CWEventType::BattInstalled, serialNumber())
                     : log->logEvent(CWEventType::BattRemoved);
    else if (property == QLatin1String("isCharging"))
        log->logEvent(isCharging() ? CWEventType::Charging : CWEventType::NotCharging);
    else if (property == QLatin1String("isFullyCharged"))
        log->logEvent(isFullyCharged() ? CWEventType::BattFull : CWEventType::BattNotFull);
}

std::optional<QVariantMap> CWBatteryMonitor::_updatedBatteryInfo()
{
    std::optional<QVariantMap> snapshot = BatteryRegistry::current().copyBatteryProperties();
    if (!snapshot)
        Console::line(QStringLiteral("Failed to get battery info."));
    return snapshot;
}

void CWBatteryMonitor::_fireTimer()
{
    const std::optional<QVariantMap> read = _updatedBatteryInfo();
    const QVariant next = read ? QVariant(*read) : QVariant();
    // A missing snapshot never equals anything, not even another missing one.
    const bool unchanged = read && !_battInfo.isNull() && *read == _battInfo.toMap();
    const double now = nowSinceReferenceDate();
    if (unchanged) {
        _lastUpdatedTime = now;
    } else {
        _log(read.value_or(QVariantMap()));
        _lastUpdatedTime = now;
        _lastLoggedTime = now;
        const QStringList announced = _announcedProperties(next);
        _announce(announced, ChangePhase::Will);
        _battInfo = next;
        _announce(announced, ChangePhase::Did);
    }
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.post(kCWBatteryUpdatedNotification, this);
    center.post(kCWLogUpdatedNotification, this, _battInfo);
}

void CWBatteryMonitor::_log(const QVariantMap &snapshot)
{
    CWLog *log = CWLog::sharedLog();
    const bool logged = log && log->logBattDict(snapshot);
    // Said when logging starts failing, not with every sample after; the log says when it works again.
    if (!logged && !_logFailing)
        Console::line(QStringLiteral("ERROR: Unable to log batt dict."));
    _logFailing = !logged;
    if (log)
        NotificationCenter::defaultCenter().post(kCWSampleLoggedNotification, this, snapshot);
}

QStringList CWBatteryMonitor::_announcedProperties(const QVariant &next) const
{
    const QVariantMap before = _battInfo.toMap();
    const QVariantMap after = next.toMap();
    QSet<QString> keys(before.keyBegin(), before.keyEnd());
    keys.unite(QSet<QString>(after.keyBegin(), after.keyEnd()));

    QStringList properties;
    for (const QString &key : std::as_const(keys)) {
        const bool unchanged = before.contains(key) && after.contains(key) && before.value(key) == after.value(key);
        if (unchanged)
            continue;
        for (const QString &property : dependentProperties().value(key)) {
            if (!properties.contains(property))
                properties << property;
        }
    }
    return properties;
}

Subscription CWBatteryMonitor::addObserver(const QString &property, ChangeObserver observer)
{
    return _observers.add(property, std::move(observer));
}

void CWBatteryMonitor::_announce(const QStringList &properties, ChangePhase phase)
{
    for (const QString &property : properties)
        _observers.notify(property, phase);
}

QString CWBatteryMonitor::_machineIDPath()
{
    const QString directory = supportDirectory();
    return directory.isNull() ? QString() : directory + QStringLiteral("/modelid");
}

qint64 CWBatteryMonitor::machineID() const
{
    const QString path = _machineIDPath();
    if (path.isNull() || !QFileInfo(path).isFile())
        return -1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const std::optional<qint64> id = TextNumbers::leadingInteger(QString::fromUtf8(file.readAll()));
    return id && *id > 0 ? *id : -1;
}

void CWBatteryMonitor::setMachineID(qint64 machineID)
{
    const QString path = _machineIDPath();
    QSaveFile file(path);
    const bool written = !path.isNull() && file.open(QIODevice::WriteOnly)
                         && file.write(QByteArray::number(machineID)) >= 0 && file.commit();
    if (!written)
        Console::line(QStringLiteral("ERROR: unable to set machine ID: ")
                      + (path.isNull() ? QStringLiteral("no support directory") : file.errorString()));
}

QString CWBatteryMonitor::modelCode() const
{
    return BatteryRegistry::current().modelCode();
}

QDateTime CWBatteryMonitor::lastUpdated() const
{
    return dateFromReferenceTime(_lastUpdatedTime);
}

QDateTime CWBatteryMonitor::lastLogged() const
{
    return dateFromReferenceTime(_lastLoggedTime);
}

QVariant CWBatteryMonitor::value(const QString &key) const
{
    return _battInfo.toMap().value(key);
}

qint64 CWBatteryMonitor::integer(const QString &key) const
{
    return value(key).toLongLong();
}

// clang-format off
bool CWBatteryMonitor::hasBattery() const { return value(BatteryKey::BatteryInstalled).toBool(); }
bool CWBatteryMonitor::hasAdapter() const { return value(BatteryKey::ExternalConnected).toBool(); }
bool CWBatteryMonitor::isCharging() const { return value(BatteryKey::IsCharging).toBool(); }
bool CWBatteryMonitor::isFullyCharged() const { return value(BatteryKey::FullyCharged).toBool(); }
double CWBatteryMonitor::timeLeft() const { return value(BatteryKey::TimeRemaining).toDouble(); }
QString CWBatteryMonitor::serialNumber() const { return value(BatteryKey::BatterySerialNumber).toString(); }
QVariantList CWBatteryMonitor::cellVoltage() const { return value(BatteryKey::CellVoltage).toList(); }
qint64 CWBatteryMonitor::designCapacity() const { return integer(BatteryKey::DesignCapacity); }
qint64 CWBatteryMonitor::currentCapacity() const { return integer(BatteryKey::CurrentCapacity); }
qint64 CWBatteryMonitor::maxCapacity() const { return integer(BatteryKey::MaxCapacity); }
qint64 CWBatteryMonitor::cycleCount() const { return integer(BatteryKey::CycleCount); }
qint64 CWBatteryMonitor::maxCycles() const { return integer(BatteryKey::DesignCycleCount9C); }
qint64 CWBatteryMonitor::firmwareSerialNumber() const { return integer(BatteryKey::FirmwareSerialNumber); }
QByteArray CWBatteryMonitor::manufacturerData() const { return value(BatteryKey::ManufacturerData).toByteArray(); }
QString CWBatteryMonitor::deviceName() const { return value(BatteryKey::DeviceName).toString(); }
// clang-format on

double CWBatteryMonitor::chargeFract() const
{
    const qint64 max = maxCapacity();
    return max == 0 ? 0.0 : double(currentCapacity()) / double(max);
}

QDateTime CWBatteryMonitor::manufactureDate() const
{
    const auto code = static_cast<quint16>(integer(BatteryKey::ManufactureDate));
    const ManufactureDate::Fields fields = ManufactureDate::unpack(code);
    Console::line(QString::asprintf("Date: %u %u %u", fields.yearsSince1980, fields.month, fields.day));
    return ManufactureDate::midnightUtc(code);
}

double CWBatteryMonitor::temperature() const
{
    return integer(BatteryKey::Temperature) / 10.0 - 273.15;
}

double CWBatteryMonitor::voltage() const
{
    return integer(BatteryKey::Voltage) / 1000.0;
}

double CWBatteryMonitor::amperage() const
{
    const double amps = integer(BatteryKey::InstantAmperage) / 1000.0;
    // A positive current without an adapter is the gauge settling, not charging.
    return amps > 0.0 && !hasAdapter() ? 0.0 : amps;
}

double CWBatteryMonitor::wattage() const
{
    return voltage() * amperage();
}

QString CWBatteryMonitor::summary() const
{
    return PropertyListWriter::openStepText(_battInfo.isNull() ? QVariant(QVariantMap()) : _battInfo);
}
