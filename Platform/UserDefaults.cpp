#include "UserDefaults.h"

namespace {
QString keyFromPath(const QString &keyPath)
{
    static const QString prefix = QStringLiteral("values.");
    return keyPath.startsWith(prefix) ? keyPath.mid(prefix.size()) : keyPath;
}
} // namespace

UserDefaults::UserDefaults()
    : _settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Cellwise"), QStringLiteral("Cellwise"))
{
}

UserDefaults &UserDefaults::standard()
{
    static UserDefaults defaults;
    return defaults;
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        _registered.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString &key) const
{
    const QVariant stored = _settings.value(key);
    return stored.isValid() ? stored : _registered.value(key);
}

bool UserDefaults::boolForKey(const QString &key) const
{
    return objectForKey(key).toBool();
}

qint64 UserDefaults::integerForKey(const QString &key) const
{
    return objectForKey(key).toLongLong();
}

double UserDefaults::doubleForKey(const QString &key) const
{
    return objectForKey(key).toDouble();
}

void UserDefaults::setObject(const QString &key, const QVariant &value)
{
    const QVariant before = objectForKey(key);
    _settings.setValue(key, value);
    _settings.sync();
    notifyIfChanged(key, before);
}

void UserDefaults::removeObjectForKey(const QString &key)
{
    const QVariant before = objectForKey(key);
    _settings.remove(key);
    _settings.sync();
    notifyIfChanged(key, before);
}

void UserDefaults::clearAll()
{
    _settings.clear();
    _settings.sync();
    _registered.clear();
}

Subscription UserDefaults::addObserver(const QString &keyPath, Observer observer)
{
    return _observers.add(keyFromPath(keyPath), std::move(observer));
}

void UserDefaults::notifyIfChanged(const QString &key, const QVariant &before)
{
    // Stored values come back as text from the settings file: compare what a reader would see.
    if (objectForKey(key).toString() == before.toString())
        return;
    _observers.notify(key);
}
