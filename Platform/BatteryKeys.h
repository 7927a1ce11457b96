#pragma once

#include <QString>

// The battery registry's key names. Snapshots are keyed by them, the log's battlog columns and the
// statistics server's fields carry the same names. Units are the registry's: mAh, mV, mA, tenths of
// a kelvin, minutes.
namespace BatteryKey {

inline const QString AdapterInfo = QStringLiteral("AdapterInfo");
inline const QString Amperage = QStringLiteral("Amperage");
inline const QString AvgTimeToEmpty = QStringLiteral("AvgTimeToEmpty");
inline const QString AvgTimeToFull = QStringLiteral("AvgTimeToFull");
inline const QString BatteryInstalled = QStringLiteral("BatteryInstalled");
inline const QString BatteryInvalidWakeSeconds = QStringLiteral("BatteryInvalidWakeSeconds");
inline const QString BatterySerialNumber = QStringLiteral("BatterySerialNumber");
inline const QString CellVoltage = QStringLiteral("CellVoltage");
inline const QString CurrentCapacity = QStringLiteral("CurrentCapacity");
inline const QString CycleCount = QStringLiteral("CycleCount");
inline const QString DesignCapacity = QStringLiteral("DesignCapacity");
inline const QString DesignCycleCount70 = QStringLiteral("DesignCycleCount70");
inline const QString DesignCycleCount9C = QStringLiteral("DesignCycleCount9C");
inline const QString DeviceName = QStringLiteral("DeviceName");
inline const QString ExternalChargeCapable = QStringLiteral("ExternalChargeCapable");
inline const QString ExternalConnected = QStringLiteral("ExternalConnected");
inline const QString FirmwareSerialNumber = QStringLiteral("FirmwareSerialNumber");
inline const QString FullyCharged = QStringLiteral("FullyCharged");
inline const QString InstantAmperage = QStringLiteral("InstantAmperage");
inline const QString InstantTimeToEmpty = QStringLiteral("InstantTimeToEmpty");
inline const QString IsCharging = QStringLiteral("IsCharging");
inline const QString Location = QStringLiteral("Location");
inline const QString ManufactureDate = QStringLiteral("ManufactureDate");
inline const QString Manufacturer = QStringLiteral("Manufacturer");
inline const QString MaxCapacity = QStringLiteral("MaxCapacity");
inline const QString MaxErr = QStringLiteral("MaxErr");
inline const QString PermanentFailureStatus = QStringLiteral("PermanentFailureStatus");
inline const QString PostChargeWaitSeconds = QStringLiteral("PostChargeWaitSeconds");
inline const QString PostDischargeWaitSeconds = QStringLiteral("PostDischargeWaitSeconds");
inline const QString Temperature = QStringLiteral("Temperature");
inline const QString TimeRemaining = QStringLiteral("TimeRemaining");
inline const QString Voltage = QStringLiteral("Voltage");
inline const QString ManufacturerData = QStringLiteral("ManufacturerData");

// Linux facts without a registry key, shown on the Battery Data page.
inline const QString PowerSupplyName = QStringLiteral("PowerSupplyName");
inline const QString Technology = QStringLiteral("Technology");
inline const QString ChargeControlStartThreshold = QStringLiteral("ChargeControlStartThreshold");
inline const QString ChargeControlEndThreshold = QStringLiteral("ChargeControlEndThreshold");

} // namespace BatteryKey
