#include "TestSupport.h"

#include "CWLog.h"
#include "Console.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

ConsoleCapture::ConsoleCapture()
{
    Console::setSink([this](const QString &line) { _lines << line; });
}

ConsoleCapture::~ConsoleCapture()
{
    Console::setSink({});
}

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : _name(name)
    , _wasSet(qEnvironmentVariableIsSet(name))
    , _previous(qgetenv(name))
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (_wasSet)
        qputenv(_name, _previous);
    else
        qunsetenv(_name);
}

ScopedDataHome::ScopedDataHome()
{
    CWLog::resetSharedLog();
}

ScopedDataHome::~ScopedDataHome()
{
    CWLog::resetSharedLog();
}

void writeTextFile(const QString &root, const QString &relativePath, const QString &text)
{
    const QString path = root + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

ScopedFakeBattery::ScopedFakeBattery(std::optional<QVariantMap> initial)
{
    auto battery = std::make_unique<FakeBattery>();
    battery->next = std::move(initial);
    _battery = battery.get();
    BatteryRegistry::install(std::move(battery));
}

ScopedFakeBattery::~ScopedFakeBattery()
{
    BatteryRegistry::install(nullptr);
}
