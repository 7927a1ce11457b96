#pragma once

#include "Subscription.h"

#include <QObject>
#include <QString>
#include <memory>

class CWBatteryMonitor;
class QMenu;
class QSystemTrayIcon;

// Cellwise's icon in the system tray: shows the charge in its picture and tooltip, becomes the
// application's way back once the main window is closed.
class CWTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit CWTrayIcon(const CWBatteryMonitor &monitor, QObject *parent = nullptr);
    ~CWTrayIcon() override;

    static bool isAvailable();
    // A battery glyph filled to the fraction (0...1), for the tray and the windows.
    static QIcon batteryIcon(double chargeFraction);

    void show();
    QString toolTip() const;

Q_SIGNALS:
    void activated();
    void showWindowRequested();
    void preferencesRequested();
    void quitRequested();

private:
    void _battUpdated();

    const CWBatteryMonitor &_monitor;
    std::unique_ptr<QMenu> _menu;
    QSystemTrayIcon *_trayIcon = nullptr;
    int _shownPercent = -1;
    Subscription _observation;
};
