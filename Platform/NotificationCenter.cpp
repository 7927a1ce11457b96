#include "NotificationCenter.h"

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

Subscription NotificationCenter::addObserver(const QString &name, const void *sender, Observer observer)
{
    if (!sender)
        return _observers.add(name, std::move(observer));
    return _observers.add(name, [sender, observer = std::move(observer)](const Notification &notification) {
        if (notification.sender == sender)
            observer(notification);
    });
}

void NotificationCenter::post(const QString &name, const void *sender, const QVariant &userInfo)
{
    _observers.notify(name, Notification{name, sender, userInfo});
}
