#pragma once

#include "Subscription.h"

#include <QString>
#include <QVariant>
#include <functional>

struct Notification {
    QString name;
    const void *sender = nullptr;
    QVariant userInfo;
};

// A synchronous notification centre: post() calls every observer registered for the name (and,
// when an observer named one, for that sender) on the posting thread, in registration order.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification &)>;

    static NotificationCenter &defaultCenter();

    // A null sender observes the name from every sender. Observing ends with the subscription.
    Subscription addObserver(const QString &name, const void *sender, Observer observer);
    void post(const QString &name, const void *sender, const QVariant &userInfo = {});

private:
    ObserverList<const Notification &> _observers;
};
