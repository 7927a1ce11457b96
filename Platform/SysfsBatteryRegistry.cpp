#include "SysfsBatteryRegistry.h"

#include <QDir>
#include <QFile>

namespace {
const QString kSuppliesPath = QStringLiteral("class/power_supply");
}

SysfsBatteryRegistry::SysfsBatteryRegistry()
    : _root(qEnvironmentVariable("CELLWISE_SYSFS_ROOT"))
{
    if (_root.isEmpty())
        _root = QStringLiteral("/sys");
}

std::optional<QVariantMap> SysfsBatteryRegistry::copyBatteryProperties()
{
    const QList<PowerSupply> supplies = _readSupplies();
    _batterySeen = _batterySeen || SysfsSnapshot::systemBattery(supplies);
    if (!_batterySeen)
        return std::nullopt;
    return SysfsSnapshot::snapshot(supplies);
}

bool SysfsBatteryRegistry::hasBatteryEntry()
{
    _batterySeen = _batterySeen || SysfsSnapshot::systemBattery(_readSupplies());
    return _batterySeen;
}

QString SysfsBatteryRegistry::modelCode()
{
    return SysfsSnapshot::modelCode(_readFile(QStringLiteral("class/dmi/id/product_name")).value_or(QByteArray()),
                                    _readFile(QStringLiteral("firmware/devicetree/base/model")).value_or(QByteArray()));
}

// One read of each supply's uevent gives all its values at once.
QList<PowerSupply> SysfsBatteryRegistry::_readSupplies() const
{
    const QDir dir(_root + QLatin1Char('/') + kSuppliesPath);
    QList<PowerSupply> supplies;
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = kSuppliesPath + QLatin1Char('/') + name;
        const std::optional<QByteArray> uevent = _readFile(path + QStringLiteral("/uevent"));
        // A supply that cannot be read is gone for this tick, like one unplugged while listing.
        if (!uevent)
            continue;
        PowerSupply supply{name, SysfsSnapshot::parseUevent(*uevent)};
        // Kernels before 5.8 leave the type out of uevent.
        if (!supply.values.contains("type"))
            supply.values.insert("type", _readFile(path + QStringLiteral("/type")).value_or(QByteArray()));
        supplies.append(supply);
    }
    return supplies;
}

// The file's bytes; nullopt when it is missing or a driver fails the read.
std::optional<QByteArray> SysfsBatteryRegistry::_readFile(const QString &relativePath) const
{
    QFile file(_root + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}
