#include "SysfsBatteryRegistry.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kSuppliesPath = QStringLiteral("class/power_supply");
// Sysfs attributes fit in one page; anything larger is not a driver's.
constexpr qint64 kMaxFileBytes = 64 * 1024;
} // namespace

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

// The file's bytes; nullopt when it is missing, a driver fails the read, or it is not a small
// regular file. Opening without blocking keeps a FIFO from stalling the tick; the type check keeps
// a device such as /dev/zero from being read without end.
std::optional<QByteArray> SysfsBatteryRegistry::_readFile(const QString &relativePath) const
{
    const QByteArray path = QFile::encodeName(_root + QLatin1Char('/') + relativePath);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status {};
    QFile file; // owns the descriptor once open
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileBytes)
        return std::nullopt;
    return bytes;
}
