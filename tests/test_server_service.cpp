#include "PropertyListParser.h"
#include "ServerOptions.h"
#include "StatsService.h"
#include "SqliteStatsStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

StatsRequest post(const std::string &path, const Fields &fields = {})
{
    StatsRequest request{"POST", path, {}, {}};
    for (const auto &[name, value] : fields)
        request.headers.emplace(name, value);
    return request;
}

StatsRequest versionCheck(const Fields &query)
{
    StatsRequest request{"GET", "/versioncheck.php", {}, {}};
    for (const auto &[name, value] : query)
        request.query.emplace(name, value);
    return request;
}

QVariant parsedBody(const StatsReply &reply)
{
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.contentType.rfind("application/xml", 0), 0u);
    QString error;
    const QVariant value = PropertyListParser::parse(QByteArray::fromStdString(reply.body), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return value;
}

class StatsServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.open(dir.path() + QStringLiteral("/server.sqlite"))); }

    qint64 registerMachine(const char *code)
    {
        const StatsReply reply = service.handle(post("/cellw_register_machine.php", {{"CELLW_MODELCODE", code}}));
        EXPECT_EQ(reply.status, 200);
        return std::stoll(reply.body);
    }

    StatsReply upload(qint64 machine, const char *capacity, const char *designCap = "6000", const char *voltage = "12500",
                      const char *cycleCount = "100")
    {
        const std::string machineText = std::to_string(machine);
        return service.handle(post("/cellw_logbatt.php", {{"CELLW_MACHINECODE", machineText.c_str()},
                                                          {"CELLW_CAPACITY", capacity},
                                                          {"CELLW_CURRENT", "3000"},
                                                          {"CELLW_AMPERAGE", "-1500"},
                                                          {"CELLW_VOLTAGE", voltage},
                                                          {"CELLW_DESIGNCAP", designCap},
                                                          {"CELLW_CYCLECOUNT", cycleCount},
                                                          {"CELLW_FLAGS", "11111"}}));
    }

    // The averages record of the model, by its id.
    QVariantMap averagesOf(qint64 modelID)
    {
        service.refreshSnapshot();
        for (const QVariant &record : parsedBody(service.handle(post("/cellw_averages_2.php"))).toList()) {
            if (record.toMap().value(QStringLiteral("pb_modelid")).toLongLong() == modelID)
                return record.toMap();
        }
        return {};
    }

    QTemporaryDir dir;
    SqliteStatsStore store;
    StatsService service{store, {3, QStringLiteral("1.2.0"), QStringLiteral("https://example.org/cellwise")}};
};

TEST_F(StatsServiceTest, RegistrationRepliesWithTheNewIdAsText)
{
    const StatsReply reply = service.handle(post("/cellw_register_machine.php", {{"CELLW_MODELCODE", "MacBookPro11,1"}}));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "1\n");
    EXPECT_EQ(registerMachine("Inspiron 15 7000"), 2);
}

TEST_F(StatsServiceTest, RegistrationRefusesAMissingOrMalformedModel)
{
    const std::pair<const char *, Fields> cases[] = {
        {"absent", {}},
        {"null", {{"CELLW_MODELCODE", "(null)"}}},
        {"empty", {{"CELLW_MODELCODE", ""}}},
        {"control character", {{"CELLW_MODELCODE", "MacBook\x1b[2J"}}},
        {"sent twice", {{"CELLW_MODELCODE", "MacBookPro11,1"}, {"CELLW_MODELCODE", "MacBookAir6,2"}}},
        {"over-long", {{"CELLW_MODELCODE", "MacBookPro11,1MacBookPro11,1MacBookPro11,1MacBookPro11,1MacBookPro11,1"}}},
    };
    for (const auto &[name, fields] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(service.handle(post("/cellw_register_machine.php", fields)).status, 400);
    }
    EXPECT_TRUE(store.models().value().empty());
}

TEST_F(StatsServiceTest, AveragesTakeOneVotePerMachine)
{
    const qint64 a = registerMachine("MacBookPro11,1");
    const qint64 b = registerMachine("MacBookPro11,1");
    const qint64 c = registerMachine("MacBookPro11,1");
    const qint64 d = registerMachine("MacBookPro11,1");
    // a uploads often; only its latest sample counts.
    for (const char *capacity : {"1000", "9000", "3000"})
        EXPECT_EQ(upload(a, capacity).body, "ok\n");
    upload(b, "4000", "6000", "12000", "10");
    upload(c, "5000", "6400", "12600", "20");
    upload(d, "6000", "6400", "12700", "40");

    const QVariantMap record = averagesOf(store.models().value().front().id);
    EXPECT_EQ(record.value("status"), QVariant(QStringLiteral("ok")));
    EXPECT_EQ(record.value("min_capacity").toLongLong(), 3000);
    EXPECT_EQ(record.value("med_capacity").toLongLong(), 4500);
    EXPECT_EQ(record.value("max_capacity").toLongLong(), 6000);
    EXPECT_EQ(record.value("med_designcap").toLongLong(), 6200);
    EXPECT_EQ(record.value("min_volts").toLongLong(), 12000);
    EXPECT_EQ(record.value("med_volts").toLongLong(), 12550);
    EXPECT_EQ(record.value("max_cyclecount").toLongLong(), 100);
    EXPECT_EQ(record.value("med_cyclecount").typeId(), QMetaType::LongLong);
}

TEST_F(StatsServiceTest, AModelWithTooFewMachinesIsTooSmall)
{
    const qint64 air = registerMachine("MacBookAir6,2");
    const qint64 pro = registerMachine("MacBookPro11,1");
    registerMachine("MacBookPro11,1");
    registerMachine("MacBookPro11,1"); // registered but never uploading: no vote
    upload(air, "5000");
    upload(pro, "5000");
    upload(pro + 1, "5000");

    const std::vector<StatsStore::Model> models = store.models().value();
    const QVariantMap airRecord = averagesOf(models[0].id);
    const QVariantMap proRecord = averagesOf(models[1].id);
    EXPECT_EQ(airRecord.value("status"), QVariant(QStringLiteral("toosmall")));
    EXPECT_EQ(proRecord.value("status"), QVariant(QStringLiteral("toosmall")));
    EXPECT_FALSE(proRecord.contains("min_capacity")) << "no figures from two machines";

    upload(pro + 2, "5000");
    EXPECT_EQ(averagesOf(models[1].id).value("status"), QVariant(QStringLiteral("ok")));
}

TEST_F(StatsServiceTest, MalformedSamplesAreRefusedAndNotStored)
{
    const qint64 machine = registerMachine("MacBookPro11,1");
    ASSERT_EQ(upload(machine, "5000").status, 200);
    const std::pair<const char *, const char *> badFields[] = {
        {"CELLW_CAPACITY", "abc"},       {"CELLW_CAPACITY", "12.5"},
        {"CELLW_CAPACITY", ""},          {"CELLW_CAPACITY", "99999999999999999999"},
        {"CELLW_CAPACITY", "-1"},        {"CELLW_CAPACITY", "30001"},
        {"CELLW_CURRENT", "0x10"},       {"CELLW_AMPERAGE", "-30001"},
        {"CELLW_VOLTAGE", "5000 mV"},    {"CELLW_DESIGNCAP", "+6000"},
        {"CELLW_CYCLECOUNT", "100001"},  {"CELLW_MACHINECODE", "one"},
        {"CELLW_MACHINECODE", "4294967297"}, {"CELLW_FLAGS", "11;11"},
    };
    for (const auto &[field, value] : badFields) {
        SCOPED_TRACE(std::string(field) + "=" + value);
        StatsRequest request = post("/cellw_logbatt.php", {{"CELLW_MACHINECODE", "1"},
                                                           {"CELLW_CAPACITY", "1111"},
                                                           {"CELLW_VOLTAGE", "11111"},
                                                           {"CELLW_DESIGNCAP", "1111"},
                                                           {"CELLW_CYCLECOUNT", "1"}});
        request.headers.erase(field);
        request.headers.emplace(field, value);
        EXPECT_EQ(service.handle(request).status, 400);
    }
    StatsRequest twice = post("/cellw_logbatt.php", {{"CELLW_MACHINECODE", "1"}, {"CELLW_CAPACITY", "1111"}, {"CELLW_CAPACITY", "1112"}});
    EXPECT_EQ(service.handle(twice).status, 400);

    const auto votes = store.votesByModel().value().begin()->second;
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes.front().capacity, 5000) << "the last sound sample is still the vote";
}

TEST_F(StatsServiceTest, NullValuesAreStoredAsMissingAndDoNotVote)
{
    const qint64 machine = registerMachine("MacBookPro11,1");
    const StatsReply reply = upload(machine, "(null)");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "ok\n");
    EXPECT_TRUE(store.votesByModel().value().begin()->second.empty());
}

TEST_F(StatsServiceTest, SamplesOfUnknownOrUnregisteredMachinesAreIgnored)
{
    registerMachine("MacBookPro11,1");
    EXPECT_EQ(upload(-1, "5000").body, "ignored\n");
    EXPECT_EQ(upload(0, "5000").body, "ignored\n");
    EXPECT_EQ(upload(42, "5000").body, "ignored\n");
    EXPECT_EQ(service.handle(post("/cellw_logbatt.php", {{"CELLW_CAPACITY", "5000"}})).body, "ignored\n");
    EXPECT_TRUE(store.votesByModel().value().begin()->second.empty());
}

TEST_F(StatsServiceTest, ModelListNamesKnownModelsAndSortsByName)
{
    registerMachine("MacBookPro11,1");
    registerMachine("Inspiron 15 7000");
    registerMachine("MacBookAir6,2");
    service.refreshSnapshot();
    const QVariantList models = parsedBody(service.handle(post("/cellw_pbmodels.php"))).toList();
    ASSERT_EQ(models.size(), 3);
    const auto record = [&](int i) { return models.at(i).toMap(); };
    EXPECT_EQ(record(0).value("name"), QVariant(QStringLiteral("Inspiron 15 7000")));
    EXPECT_EQ(record(0).value("code"), QVariant(QStringLiteral("Inspiron 15 7000")));
    EXPECT_EQ(record(1).value("name"), QVariant(QStringLiteral("MacBook Air (13-inch, Mid 2013)")));
    EXPECT_EQ(record(2).value("name"), QVariant(QStringLiteral("MacBook Pro (Retina, 13-inch, Late 2013)")));
    EXPECT_EQ(record(2).value("code"), QVariant(QStringLiteral("MacBookPro11,1")));
    EXPECT_EQ(record(2).value("pb_modelid"), QVariant(qint64(1)));
    EXPECT_EQ(parsedBody(service.handle(post("/cellw_averages_2.php"))).toList().size(), 3) << "one averages record per model";
}

TEST_F(StatsServiceTest, VersionCheckComparesWithTheCurrentVersion)
{
    const struct {
        const char *ver;
        bool alertNew;
    } cases[] = {{"1.1.9", true}, {"0.9", true}, {"1.2", false}, {"1.2.0", false}, {"1.10", false}, {"1.2.0 (beta)", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ver);
        const QVariantMap reply = parsedBody(service.handle(versionCheck({{"name", "Cellwise"}, {"ver", c.ver}}))).toMap();
        EXPECT_EQ(reply.value("success"), QVariant(true));
        EXPECT_EQ(reply.value("alertNew"), QVariant(c.alertNew));
        EXPECT_EQ(reply.value("currentVersion"), QVariant(QStringLiteral("1.2.0")));
        EXPECT_EQ(reply.value("productPage"), QVariant(QStringLiteral("https://example.org/cellwise")));
    }
}

TEST_F(StatsServiceTest, VersionCheckWithoutNameOrVersionIsNotUnderstood)
{
    const Fields queries[] = {{{"name", "Cellwise"}}, {{"ver", "1.0"}}, {{"name", "Cellwise"}, {"ver", "latest"}}, {{"name", ""}, {"ver", "1.0"}}};
    for (const Fields &query : queries) {
        const QVariantMap reply = parsedBody(service.handle(versionCheck(query))).toMap();
        EXPECT_EQ(reply.value("success"), QVariant(false));
        EXPECT_EQ(reply.value("alertNew"), QVariant(false));
    }
}

TEST_F(StatsServiceTest, VersionCheckLeavesOutAnUnsetProductPage)
{
    StatsService plain(store, {3, QStringLiteral("2.0"), QString()});
    const QVariantMap reply = parsedBody(plain.handle(versionCheck({{"name", "Cellwise"}, {"ver", "1.0"}}))).toMap();
    EXPECT_EQ(reply.value("alertNew"), QVariant(true));
    EXPECT_FALSE(reply.contains("productPage"));
}

TEST_F(StatsServiceTest, UnknownPathsAndWrongMethodsAreErrors)
{
    EXPECT_EQ(service.handle(post("/index.php")).status, 404);
    EXPECT_EQ(service.handle(post("/cellw_register_machine.php/../etc")).status, 404);
    EXPECT_EQ(service.handle({"GET", "/cellw_averages_2.php", {}, {}}).status, 405);
    EXPECT_EQ(service.handle(post("/versioncheck.php")).status, 405);
}

// ---- Command line -----------------------------------------------------------------------------

std::optional<ServerOptions> parsed(QStringList arguments, QString *error = nullptr)
{
    QString reason;
    arguments.prepend(QStringLiteral("cellwise-server"));
    auto options = parseServerOptions(arguments, reason);
    if (error)
        *error = reason;
    return options;
}

TEST(ServerOptions, DefaultsServeLoopbackFromTheUserDataFolder)
{
    const auto options = parsed({});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->host, "127.0.0.1");
    EXPECT_EQ(options->port, 8642);
    EXPECT_EQ(options->minMachines, 3);
    EXPECT_EQ(options->databasePath, qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Cellwise/server.sqlite"));
    EXPECT_FALSE(options->currentVersion.isEmpty());
    EXPECT_TRUE(options->productPage.isEmpty());
    EXPECT_FALSE(options->showHelp);
}

TEST(ServerOptions, ReadsEveryOption)
{
    const auto options = parsed({"--listen", "[::1]:0", "--db", "/tmp/x.sqlite", "--min-machines", "5", "--current-version",
                                 "2.1", "--product-page", "https://example.org/", "--refresh-seconds", "30",
                                 "--flood-limit", "0", "--help"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->host, "::1");
    EXPECT_EQ(options->port, 0);
    EXPECT_EQ(options->databasePath, QStringLiteral("/tmp/x.sqlite"));
    EXPECT_EQ(options->minMachines, 5);
    EXPECT_EQ(std::pair(options->refreshSeconds, options->floodPerSecond), std::pair(30, 0));
    EXPECT_EQ(options->currentVersion, QStringLiteral("2.1"));
    EXPECT_EQ(options->productPage, QStringLiteral("https://example.org/"));
    EXPECT_TRUE(options->showHelp);
    EXPECT_EQ(parsed({"--listen", "0.0.0.0:80"})->host, "0.0.0.0");
}

TEST(ServerOptions, RefusesUnusableValues)
{
    const QStringList cases[] = {
        {"--listen", "8642"}, {"--listen", ":8642"}, {"--listen", "localhost:70000"}, {"--listen", "localhost:http"},
        {"--min-machines", "0"}, {"--min-machines", "three"}, {"--current-version", "latest"},
        {"--refresh-seconds", "0"}, {"--refresh-seconds", "86401"}, {"--flood-limit", "-1"},
        {"--bogus"}, {"stray"}, {"--db"},
    };
    for (const QStringList &arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        QString error;
        EXPECT_FALSE(parsed(arguments, &error));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(ServerOptions, HelpDescribesEveryOption)
{
    const QString help = serverHelpText();
    for (const char *option : {"--listen", "--db", "--min-machines", "--current-version", "--product-page", "--help"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

} // namespace
