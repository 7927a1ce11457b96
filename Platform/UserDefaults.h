#pragma once

#include "Subscription.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <functional>

// The user's settings (~/.config/Cellwise), with defaults registered at launch that apply to every
// key the user has not set, and per-key observers called after a value changed.
class UserDefaults {
public:
    using Observer = std::function<void()>;

    static UserDefaults &standard();

    // Registered values are not stored; they answer for keys without a stored value.
    void registerDefaults(const QVariantMap &defaults);

    QVariant objectForKey(const QString &key) const;
    bool boolForKey(const QString &key) const;
    qint64 integerForKey(const QString &key) const;
    double doubleForKey(const QString &key) const;

    void setObject(const QString &key, const QVariant &value);
    void setBool(const QString &key, bool value) { setObject(key, value); }
    void setInteger(const QString &key, qint64 value) { setObject(key, value); }
    void setDouble(const QString &key, double value) { setObject(key, value); }
    void removeObjectForKey(const QString &key);
    // Forgets every stored value and registered default (tests start from a clean slate).
    void clearAll();

    // keyPath is either "KEY" or "values.KEY", as bindings name it. Observing ends with the
    // subscription.
    Subscription addObserver(const QString &keyPath, Observer observer);

private:
    UserDefaults();
    void notifyIfChanged(const QString &key, const QVariant &before);

    QSettings _settings;
    QVariantMap _registered;
    ObserverList<> _observers;
};
