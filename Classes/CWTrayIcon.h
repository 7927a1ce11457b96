#pragma once

#include "NotificationCenter.h"

#include <QObject>
#include <QString>
#include <memory>

class QMenu;
class QSystemTrayIcon;

// Cellwise's icon in the system tray: shows the charge in its picture and tooltip, becomes the
// application's way back once the main window is closed.
class CWTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit CWTrayIcon(QObject *parent = nullptr);
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

    std::unique_ptr<QMenu> _menu;
    QSystemTrayIcon *_trayIcon = nullptr;
    NotificationCenter::Token _observation = 0;
    int _shownPercent = -1;
};
