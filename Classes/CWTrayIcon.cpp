#include "CWTrayIcon.h"

#include "CWBatteryMonitor.h"
#include "NotificationCenter.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

CWTrayIcon::CWTrayIcon(const CWBatteryMonitor &monitor, QObject *parent)
    : QObject(parent)
    , _monitor(monitor)
    , _menu(std::make_unique<QMenu>())
    , _trayIcon(new QSystemTrayIcon(batteryIcon(0.0), this))
{
    _menu->addAction(tr("Show Cellwise"), this, &CWTrayIcon::showWindowRequested);
    _menu->addAction(tr("Preferences…"), this, &CWTrayIcon::preferencesRequested);
    _menu->addSeparator();
    _menu->addAction(tr("Quit Cellwise"), this, &CWTrayIcon::quitRequested);
    _trayIcon->setContextMenu(_menu.get());
    _trayIcon->setToolTip(QStringLiteral("Cellwise"));
    connect(_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            Q_EMIT activated();
    });
    _observation = NotificationCenter::defaultCenter().addObserver(kCWBatteryUpdatedNotification, &_monitor,
                                                                   [this](const Notification &) { _battUpdated(); });
}

CWTrayIcon::~CWTrayIcon() = default;

bool CWTrayIcon::isAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CWTrayIcon::show()
{
    _trayIcon->show();
}

QString CWTrayIcon::toolTip() const
{
    return _trayIcon->toolTip();
}

void CWTrayIcon::_battUpdated()
{
    const int percent = _monitor.hasBattery() ? qRound(_monitor.chargeFract() * 100.0) : -1;
    if (percent == _shownPercent)
        return;
    _shownPercent = percent;
    _trayIcon->setIcon(batteryIcon(qMax(0, percent) / 100.0));
    _trayIcon->setToolTip(percent < 0 ? tr("Cellwise: no battery") : tr("Cellwise: %1 % charged").arg(percent));
}

QIcon CWTrayIcon::batteryIcon(double chargeFraction)
{
    QIcon icon;
    for (int size : {16, 22, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        const QRectF body(1.5 * unit, 4.5 * unit, 11.5 * unit, 7 * unit);
        const QRectF tip(body.right(), 6.5 * unit, 1.5 * unit, 3 * unit);
        painter.setPen(QPen(QColor(0x30, 0x30, 0x30), unit));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(body, unit, unit);
        painter.fillRect(tip, QColor(0x30, 0x30, 0x30));
        const QRectF inside = body.adjusted(1.5 * unit, 1.5 * unit, -1.5 * unit, -1.5 * unit);
        const double fraction = qBound(0.0, chargeFraction, 1.0);
        const QColor fill = fraction < 0.2 ? QColor(0xd0, 0x3a, 0x2a) : QColor(0x3a, 0xa0, 0x48);
        painter.fillRect(QRectF(inside.topLeft(), QSizeF(inside.width() * fraction, inside.height())), fill);
        icon.addPixmap(pixmap);
    }
    return icon;
}
