#include "StatsService.h"

#include "BattSample.h"
#include "Console.h"
#include "PropertyListWriter.h"
#include "RequestFields.h"
#include "StatsStore.h"

#include <QVersionNumber>
#include <algorithm>
#include <string_view>

namespace {

StatsReply textReply(int status, const std::string &text)
{
    return {status, plainTextType, text + "\n"};
}

constexpr char plistType[] = "application/xml; charset=utf-8";

StatsReply plistReply(const QVariant &value)
{
    return {200, plistType, PropertyListWriter::xmlData(value).toStdString()};
}

// What model identifiers are made of ("MacBookPro11,1"); anything longer or stranger would only
// bloat the model list that every client downloads.
bool isModelCode(const std::string &text)
{
    constexpr size_t maxLength = 32;
    return !text.empty() && text.size() <= maxLength && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
               || std::string_view(",._-").find(c) != std::string_view::npos;
    });
}

} // namespace

StatsService::StatsService(StatsStore &store, ServiceSettings settings)
    : _store(store)
    , _settings(std::move(settings))
    , _registrations(6 * _settings.registrationsPerSecond, _settings.registrationsPerSecond)
    , _latest(std::make_shared<const StatsSnapshot>(emptyStatsSnapshot()))
{
}

StatsReply StatsService::handle(const StatsRequest &request)
{
    static const struct {
        const char *path;
        const char *method;
        StatsReply (StatsService::*handler)(const StatsRequest &);
    } routes[] = {
        {"/cellw_register_machine.php", "POST", &StatsService::_registerMachine},
        {"/cellw_logbatt.php", "POST", &StatsService::_logBatt},
        {"/cellw_averages_2.php", "POST", &StatsService::_averages},
        {"/cellw_pbmodels.php", "POST", &StatsService::_pbModels},
        {"/versioncheck.php", "GET", &StatsService::_versionCheck},
    };
    for (const auto &route : routes) {
        if (request.path != route.path)
            continue;
        if (request.method != route.method)
            return textReply(405, std::string("use ") + route.method);
        return (this->*route.handler)(request);
    }
    return textReply(404, "no such page");
}

StatsReply StatsService::_registerMachine(const StatsRequest &request)
{
    std::optional<std::string> code;
    std::string error;
    if (!RequestFields::text(request.headers, "CELLW_MODELCODE", code, error))
        return textReply(400, error);
    if (!code || !isModelCode(*code))
        return textReply(400, "CELLW_MODELCODE must be 1 to 32 of A-Z a-z 0-9 , . _ -");
    // Besides each address's flood limit: many addresses together must not flood the machine table.
    if (!_registrations.allow({}))
        return textReply(429, "too many registrations; try again later");
    const qint64 machineID = _store.registerMachine(QString::fromLatin1(*code));
    if (machineID < 0)
        return textReply(500, "registration failed");
    return textReply(200, std::to_string(machineID));
}

StatsReply StatsService::_logBatt(const StatsRequest &request)
{
    std::string error;
    const std::optional<BattUpload> upload = parseBattUpload(request.headers, error);
    if (!upload) {
        Console::line(QStringLiteral("Refused a sample: %1").arg(QString::fromStdString(error)));
        return textReply(400, error);
    }
    // Unregistered machines send -1; their samples, like those of unknown machines, are not kept.
    if (!upload->machineID || *upload->machineID <= 0)
        return textReply(200, "ignored");
    switch (_store.logSample(*upload->machineID, upload->sample)) {
    case StatsStore::Outcome::Stored:
        return textReply(200, "ok");
    case StatsStore::Outcome::UnknownMachine:
        return textReply(200, "ignored");
    case StatsStore::Outcome::Failed:
        break;
    }
    return textReply(500, "storing failed");
}

StatsReply StatsService::_averages(const StatsRequest &)
{
    return {200, plistType, _snapshot()->averages};
}

StatsReply StatsService::_pbModels(const StatsRequest &)
{
    return {200, plistType, _snapshot()->models};
}

std::shared_ptr<const StatsSnapshot> StatsService::_snapshot() const
{
    std::lock_guard lock(_snapshotMutex);
    return _latest;
}

bool StatsService::refreshSnapshot()
{
    std::optional<StatsSnapshot> made = makeStatsSnapshot(_store, _settings.minMachines);
    if (!made) {
        Console::line(QStringLiteral("ERROR: the averages were not recomputed; the previous ones are served"));
        return false;
    }
    auto snapshot = std::make_shared<const StatsSnapshot>(std::move(*made));
    std::lock_guard lock(_snapshotMutex);
    _latest = std::move(snapshot);
    return true;
}

StatsReply StatsService::_versionCheck(const StatsRequest &request)
{
    const auto name = request.query.find("name");
    const auto ver = request.query.find("ver");
    const QVersionNumber theirs =
        ver == request.query.end() ? QVersionNumber() : QVersionNumber::fromString(QString::fromStdString(ver->second));
    const QVersionNumber current = QVersionNumber::fromString(_settings.currentVersion).normalized();
    const bool understood = name != request.query.end() && !name->second.empty() && !theirs.isNull();
    QVariantMap reply{
        {QStringLiteral("success"), understood},
        {QStringLiteral("alertNew"), understood && theirs.normalized() < current},
        {QStringLiteral("currentVersion"), _settings.currentVersion},
    };
    if (!_settings.productPage.isEmpty())
        reply.insert(QStringLiteral("productPage"), _settings.productPage);
    return plistReply(reply);
}
