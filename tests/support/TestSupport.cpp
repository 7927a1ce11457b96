#include "TestSupport.h"

#include "CWAppDelegate.h"
#include "CWLog.h"
#include "Console.h"
#include "LXCWServer.h"
#include "UrlOpener.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

ScopedDefaults::ScopedDefaults()
{
    UserDefaults::standard().clearAll();
    CWAppDelegate::registerDefaults();
}

ScopedDefaults::~ScopedDefaults()
{
    UserDefaults::standard().clearAll();
}

FakeUser::FakeUser()
{
    AlertPanel::setResponder([this](const AlertPanel::Alert &alert) {
        alerts << alert;
        if (onAlert)
            onAlert();
        return answer;
    });
    UrlOpener::setHandler([this](const QUrl &page) {
        opened << page;
        return true;
    });
}

FakeUser::~FakeUser()
{
    AlertPanel::setResponder({});
    UrlOpener::setHandler({});
}

QVariantMap withChanges(QVariantMap snapshot, const QVariantMap &changes)
{
    snapshot.insert(changes);
    return snapshot;
}

bool isArrowBlue(QRgb pixel)
{
    return qBlue(pixel) > qRed(pixel) + 60 && qGreen(pixel) > qRed(pixel) + 40;
}

int pixelDifference(QRgb p, QRgb q)
{
    return std::max({std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                     std::abs(qBlue(p) - qBlue(q))});
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

LogFile::LogFile(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    _db.reset(db);
}

namespace {
void run(sqlite3 *db, const QString &sql, int (*callback)(void *, int, char **, char **), void *context)
{
    char *rawMessage = nullptr;
    const bool ran = sqlite3_exec(db, sql.toUtf8().constData(), callback, context, &rawMessage) == SQLITE_OK;
    const Sqlite::Message message(rawMessage);
    if (!ran)
        ADD_FAILURE() << sql.toStdString() << ": " << (message ? message.get() : sqlite3_errmsg(db));
}
} // namespace

void LogFile::exec(const QString &sql)
{
    run(_db.get(), sql, nullptr, nullptr);
}

QStringList LogFile::column(const QString &sql)
{
    QStringList values;
    const auto collect = [](void *context, int, char **row, char **) {
        static_cast<QStringList *>(context)->append(row[0] ? QString::fromUtf8(row[0]) : QString());
        return 0;
    };
    run(_db.get(), sql, collect, &values);
    return values;
}

bool eventuallyTrue(const std::function<bool()> &condition)
{
    return QTest::qWaitFor(condition, 10000);
}

bool serverChainEnds()
{
    const auto &conns = LXCWServer::sharedServer()->conns();
    return eventuallyTrue([&] {
        return std::none_of(conns.begin(), conns.end(), [](const auto &connection) { return connection->isRunning(); });
    });
}

QString refusingServerURL()
{
    return QStringLiteral("http://127.0.0.1:9");
}
