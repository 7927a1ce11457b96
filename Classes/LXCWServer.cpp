#include "LXCWServer.h"

#include "BatteryKeys.h"
#include "Console.h"
#include "PropertyListWriter.h"
#include "TextNumbers.h"
#include "UserDefaults.h"

#include <limits>

namespace {

const QString kRegisterMachine = QStringLiteral("registermachine");
const QString kGetBattData = QStringLiteral("getbattdata");
const QString kSendBattData = QStringLiteral("sendbattdata");
const QString kGetPBModels = QStringLiteral("getpbmodels");

// The text of a value as the server reads it; a missing value is "(null)".
QString headerText(const QVariant &value)
{
    const QString text = PropertyListWriter::valueText(value);
    return text.isNull() ? QStringLiteral("(null)") : text;
}

// The leading decimal integer of the reply; -1 when there is none or it is no valid machine ID.
qint32 machineIDFromReply(const QString &reply)
{
    const std::optional<qint64> id = TextNumbers::leadingInteger(reply);
    return id && *id > 0 && *id <= std::numeric_limits<qint32>::max() ? qint32(*id) : -1;
}

// The parsed reply when it is the array the delegate expects; null otherwise.
QVariant arrayReply(LXConnection *connection)
{
    const QVariant reply = connection->returnedData();
    if (reply.isNull() || reply.typeId() == QMetaType::QVariantList)
        return reply;
    Console::line(QStringLiteral("The reply of %1 is not a list").arg(connection->serverURLString()));
    return {};
}

} // namespace

LXCWServer *LXCWServer::sharedServer()
{
    static LXCWServer server;
    return &server;
}

QString LXCWServer::serverURL()
{
    QString url = qEnvironmentVariable("CELLWISE_SERVER");
    if (url.isEmpty())
        url = UserDefaults::standard().objectForKey(QStringLiteral("CWServerURL")).toString();
    if (url.isEmpty())
        url = QStringLiteral("http://127.0.0.1:8642");
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

void LXCWServer::registerMachine(const QString &modelCode)
{
    _start(QStringLiteral("/cellw_register_machine.php"), {{QStringLiteral("CELLW_MODELCODE"), modelCode}},
           kRegisterMachine);
}

void LXCWServer::getBattData()
{
    _start(QStringLiteral("/cellw_averages_2.php"), {}, kGetBattData);
}

void LXCWServer::sendBattData(const QVariantMap &battData)
{
    const QMap<QString, QString> headers{
        {QStringLiteral("CELLW_MACHINECODE"), headerText(battData.value(QStringLiteral("machineID")))},
        {QStringLiteral("CELLW_CAPACITY"), headerText(battData.value(BatteryKey::MaxCapacity))},
        {QStringLiteral("CELLW_CURRENT"), headerText(battData.value(BatteryKey::CurrentCapacity))},
        {QStringLiteral("CELLW_AMPERAGE"), headerText(battData.value(BatteryKey::InstantAmperage))},
        {QStringLiteral("CELLW_VOLTAGE"), headerText(battData.value(BatteryKey::Voltage))},
        {QStringLiteral("CELLW_DESIGNCAP"), headerText(battData.value(BatteryKey::DesignCapacity))},
        {QStringLiteral("CELLW_CYCLECOUNT"), headerText(battData.value(BatteryKey::CycleCount))},
        {QStringLiteral("CELLW_FLAGS"), QStringLiteral("11111")},
    };
    _start(QStringLiteral("/cellw_logbatt.php"), headers, kSendBattData);
}

void LXCWServer::getPBModels()
{
    _start(QStringLiteral("/cellw_pbmodels.php"), {}, kGetPBModels);
}

void LXCWServer::_start(const QString &path, const QMap<QString, QString> &headers, const QString &name)
{
    auto connection = std::make_unique<LXConnection>(serverURL() + path, headers);
    connection->setDelegate(this);
    connection->setConnectionName(name);
    _conns.push_back(std::move(connection));
    _conns.back()->executeSynchronous(false);
}

void LXCWServer::connectionFinished(LXConnection *connection)
{
    const QString name = connection->connectionName();
    if (connection->statusCode() < 0)
        Console::line(QStringLiteral("Statistics server request %1 failed: %2").arg(name, connection->urlError()));
    static const QStringList handledNames{kRegisterMachine, kGetPBModels, kGetBattData, kSendBattData};
    if (!handledNames.contains(name)) {
        Console::line(QStringLiteral("Got return from unhandled connection name"));
        return;
    }
    if (!_delegate)
        return;
    if (name == kRegisterMachine)
        _delegate->gotNewMachineID(machineIDFromReply(connection->returnedString()));
    else if (name == kGetPBModels)
        _delegate->gotPBModels(arrayReply(connection));
    else if (name == kGetBattData)
        _delegate->gotBattData(arrayReply(connection));
    else
        _delegate->sentBattData();
}
