#include "SwitchableGraphics.h"

#include <QDir>
#include <QFile>
#include <cerrno>

namespace SwitchableGraphics {

bool isDisplayClass(const QByteArray &pciClass)
{
    bool ok = false;
    const uint value = pciClass.trimmed().toUInt(&ok, 16); // toUInt accepts the "0x" prefix with base 16
    return ok && (value >> 16) == 0x03;
}

std::optional<Pair> pairAmong(const QList<DisplayController> &controllers)
{
    if (controllers.size() < 2)
        return std::nullopt;
    qsizetype integrated = 0;
    for (qsizetype i = 0; i < controllers.size(); ++i) {
        if (controllers[i].bootVga.trimmed() == "1") {
            integrated = i;
            break;
        }
    }
    const qsizetype discrete = integrated == 0 ? 1 : 0;
    return Pair{controllers[integrated].path, controllers[discrete].path};
}

bool isRuntimeActive(const QByteArray &runtimeStatus)
{
    return runtimeStatus.trimmed() == "active";
}

bool isAutoPowerControl(const QByteArray &powerControl)
{
    return powerControl.trimmed() == "auto";
}

QList<DisplayController> displayControllers()
{
    QString root = qEnvironmentVariable("CELLWISE_SYSFS_ROOT");
    if (root.isEmpty())
        root = QStringLiteral("/sys");
    const QDir devices(root + QStringLiteral("/bus/pci/devices"));
    QList<DisplayController> controllers;
    for (const QString &name : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = devices.filePath(name);
        const QByteArray pciClass = readAttribute(path, QStringLiteral("class")).value_or(QByteArray());
        if (isDisplayClass(pciClass))
            controllers.append(
                {path, pciClass, readAttribute(path, QStringLiteral("boot_vga")).value_or(QByteArray())});
    }
    return controllers;
}

std::optional<Pair> findPair()
{
    return pairAmong(displayControllers());
}

std::optional<QByteArray> readAttribute(const QString &devicePath, const QString &attribute)
{
    QFile file(devicePath + QLatin1Char('/') + attribute);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes.trimmed();
}

} // namespace SwitchableGraphics
