#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

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
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    // A null sender observes the name from every sender.
    Token addObserver(const QString &name, const void *sender, Observer observer);
    void removeObserver(Token token);
    void post(const QString &name, const void *sender, const QVariant &userInfo = {});

private:
    struct Registration {
        Token token;
        QString name;
        const void *sender;
        Observer observer;
    };
    bool isRegistered(Token token) const;

    std::vector<Registration> _registrations;
    Token _nextToken = 1;
};
