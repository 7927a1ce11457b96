#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Two graphics processors under $CELLWISE_SYSFS_ROOT/bus/pci/devices (root /sys by default): the
// integrated one drives the boot display, the discrete one is powered down by runtime power
// management while it is not needed. The Linux stand-in for a graphics multiplexer.
namespace SwitchableGraphics {

// A PCI display controller as its sysfs directory describes it.
struct DisplayController {
    QString path;        // the device's directory
    QByteArray pciClass; // the class file's text, e.g. "0x030000"
    QByteArray bootVga;  // the boot_vga file's text; empty when the device has none
};

struct Pair {
    QString integrated; // device directories
    QString discrete;
};

// PCI class 0x03xxxx: VGA, XGA, 3D or other display controller.
bool isDisplayClass(const QByteArray &pciClass);

// The integrated processor is the one with boot_vga 1 (else the first), the discrete one the first
// other display controller; nullopt with fewer than two display controllers.
std::optional<Pair> pairAmong(const QList<DisplayController> &controllers);

// Whether a runtime_status text says the device is powered up ("suspending" and "resuming" are on
// the way between the two and count as not in use).
bool isRuntimeActive(const QByteArray &runtimeStatus);
// Whether a power/control text lets the kernel power the device down when idle.
bool isAutoPowerControl(const QByteArray &powerControl);

// The machine's display controllers, in directory name order.
QList<DisplayController> displayControllers();
std::optional<Pair> findPair();

// The attribute file of a device (e.g. "power/runtime_status"), trimmed; nullopt with errno set
// when it cannot be read.
std::optional<QByteArray> readAttribute(const QString &devicePath, const QString &attribute);

} // namespace SwitchableGraphics
