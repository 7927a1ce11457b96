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

ScopedDataHome::ScopedDataHome()
    : _previous(qgetenv("XDG_DATA_HOME"))
{
    CWLog::resetSharedLog();
    qputenv("XDG_DATA_HOME", _dir.path().toUtf8());
}

ScopedDataHome::~ScopedDataHome()
{
    CWLog::resetSharedLog();
    qputenv("XDG_DATA_HOME", _previous);
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
