#include "NotificationCenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, const void *sender, Observer observer)
{
    const Token token = _nextToken++;
    _registrations.push_back({token, name, sender, std::move(observer)});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::erase_if(_registrations, [token](const Registration &r) { return r.token == token; });
}

bool NotificationCenter::isRegistered(Token token) const
{
    return std::any_of(_registrations.begin(), _registrations.end(),
                       [token](const Registration &r) { return r.token == token; });
}

void NotificationCenter::post(const QString &name, const void *sender, const QVariant &userInfo)
{
    const Notification notification{name, sender, userInfo};
    // Observers may add or remove observers while being called: work on a copy and skip the removed.
    const std::vector<Registration> snapshot = _registrations;
    for (const Registration &r : snapshot) {
        if (r.name != name || (r.sender && r.sender != sender))
            continue;
        if (isRegistered(r.token))
            r.observer(notification);
    }
}
