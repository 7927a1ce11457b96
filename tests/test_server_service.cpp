// The statistics server's requests, without sockets, and its command line.
#include "LXCWServer.h"
#include "PropertyListParser.h"
#include "ServerOptions.h"
#include "SqliteStatsStore.h"
#include "StatsService.h"
#include "TestSupport.h"
#include "UserDefaults.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// A request whose fields travel as header fields of a POST, or as the query of a GET.
StatsRequest request(const std::string &path, const Fields &fields = {}, const std::string &method = "POST")
{
    StatsRequest made{method, path, {}, {}};
    for (const auto &field : fields) {
        if (method == "GET")
            made.query.insert(field);
        else
            made.headers.insert(field);
    }
    return made;
}

QVariant parsedBody(const StatsReply &reply)
{
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.contentType.starts_with("application/xml"));
    QString error;
    const QVariant value = PropertyListParser::parse(QByteArray::fromStdString(reply.body), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return value;
}

Fields sampleFields(const std::string &machine, const char *capacity, const char *designCap = "6000",
                    const char *voltage = "12500", const char *cycleCount = "100")
{
    return {{"CELLW_MACHINECODE", machine},   {"CELLW_CAPACITY", capacity}, {"CELLW_CURRENT", "3000"},
            {"CELLW_AMPERAGE", "-1500"},      {"CELLW_VOLTAGE", voltage},   {"CELLW_DESIGNCAP", designCap},
            {"CELLW_CYCLECOUNT", cycleCount}, {"CELLW_FLAGS", "11111"}};
}

class StatsServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(store.open(dir.path() + u"/server.sqlite"_s)); }

    qint64 registerMachine(const char *code)
    {
        const StatsReply reply = service.handle(request("/cellw_register_machine.php", {{"CELLW_MODELCODE", code}}));
        EXPECT_EQ(reply.status, 200);
        return std::stoll(reply.body);
    }
    StatsReply upload(qint64 machine, const char *capacity, const char *designCap = "6000",
                      const char *voltage = "12500", const char *cycleCount = "100")
    {
        return service.handle(request("/cellw_logbatt.php",
                                      sampleFields(std::to_string(machine), capacity, designCap, voltage, cycleCount)));
    }
    // The averages record of the model, by its id.
    QVariantMap averagesOf(qint64 modelID)
    {
        service.refreshSnapshot();
        for (const QVariant &record : parsedBody(service.handle(request("/cellw_averages_2.php"))).toList()) {
            if (record.toMap().value(u"pb_modelid"_s).toLongLong() == modelID)
                return record.toMap();
        }
        return {};
    }

    QTemporaryDir dir;
    SqliteStatsStore store;
    StatsService service{store, {3, u"1.2.0"_s, u"https://example.org/cellwise"_s}};
};

TEST_F(StatsServiceTest, RegistrationRepliesWithTheNewIdAndTakesOnlyModelIdentifiers)
{
    const StatsReply reply =
        service.handle(request("/cellw_register_machine.php", {{"CELLW_MODELCODE", "MacBookPro11,1"}}));
    EXPECT_EQ(reply.body, "1\n");
    const struct {
        const char *name;
        Fields fields;
        int status;
    } rows[] = {
        {"32 characters", {{"CELLW_MODELCODE", std::string(32, 'M')}}, 200},
        {"every sign allowed", {{"CELLW_MODELCODE", "Az09,._-"}}, 200},
        {"33 characters", {{"CELLW_MODELCODE", std::string(33, 'M')}}, 400},
        {"space", {{"CELLW_MODELCODE", "Inspiron 15"}}, 400},
        {"slash", {{"CELLW_MODELCODE", "MacBook/Pro"}}, 400},
        {"not ASCII", {{"CELLW_MODELCODE", "MacBookPr\xc3\xa9"}}, 400},
        {"absent", {}, 400},
        {"null", {{"CELLW_MODELCODE", "(null)"}}, 400},
        {"empty", {{"CELLW_MODELCODE", ""}}, 400},
        {"control character", {{"CELLW_MODELCODE", "MacBook\x1b[2J"}}, 400},
        {"sent twice", {{"CELLW_MODELCODE", "MacBookPro11,1"}, {"CELLW_MODELCODE", "MacBookAir6,2"}}, 400},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(service.handle(request("/cellw_register_machine.php", row.fields)).status, row.status);
    }
    EXPECT_EQ(store.models().value().size(), 3u);
}

TEST_F(StatsServiceTest, RegistrationsFromEveryAddressTogetherAreLimited)
{
    StatsService limited(store, {3, u"1.2.0"_s, QString(), 0.5}); // a burst of 3
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i)
        statuses.push_back(
            limited.handle(request("/cellw_register_machine.php", {{"CELLW_MODELCODE", "MacBook8,1"}})).status);
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 429}));
}

TEST_F(StatsServiceTest, UploadsVoteAndAModelNeedsEnoughMachinesForFigures)
{
    const qint64 air = registerMachine("MacBookAir6,2");
    const qint64 pro = registerMachine("MacBookPro11,1");
    registerMachine("MacBookPro11,1");
    registerMachine("MacBookPro11,1");
    const qint64 silent = registerMachine("MacBookPro11,1"); // never uploads: no vote
    ASSERT_EQ(silent, pro + 3);
    // Every figure differs, so a field read into the wrong one shows in the record.
    EXPECT_EQ(upload(air, "5000").body, "ok\n");
    upload(pro, "4000", "6000", "12000", "10");
    upload(pro + 1, "5000", "6400", "12600", "20");
    const qint64 proModel = store.models().value()[1].id;
    EXPECT_EQ(averagesOf(proModel), (QVariantMap{{u"pb_modelid"_s, proModel}, {u"status"_s, u"toosmall"_s}}));

    upload(pro + 2, "6000", "6200", "12700", "40");
    const QVariantMap expected{
        {u"pb_modelid"_s, proModel},        {u"status"_s, u"ok"_s},
        {u"min_capacity"_s, qint64(4000)},  {u"med_capacity"_s, qint64(5000)},
        {u"max_capacity"_s, qint64(6000)},  {u"min_designcap"_s, qint64(6000)},
        {u"med_designcap"_s, qint64(6200)}, {u"max_designcap"_s, qint64(6400)},
        {u"min_volts"_s, qint64(12000)},    {u"med_volts"_s, qint64(12600)},
        {u"max_volts"_s, qint64(12700)},    {u"min_cyclecount"_s, qint64(10)},
        {u"med_cyclecount"_s, qint64(20)},  {u"max_cyclecount"_s, qint64(40)},
    };
    EXPECT_EQ(averagesOf(proModel), expected);
    EXPECT_EQ(averagesOf(store.models().value()[0].id).value(u"status"_s), u"toosmall"_s);
}

TEST_F(StatsServiceTest, OnlyCompleteSoundSamplesOfKnownMachinesVote)
{
    const qint64 machine = registerMachine("MacBookPro11,1");
    ASSERT_EQ(upload(machine, "5000").status, 200);
    // clang-format off
    const std::pair<const char *, const char *> badFields[] = {
        {"CELLW_CAPACITY", "abc"},       {"CELLW_CAPACITY", "12.5"},
        {"CELLW_CAPACITY", ""},          {"CELLW_CAPACITY", "99999999999999999999"},
        {"CELLW_CAPACITY", "-1"},        {"CELLW_CAPACITY", "30001"},
        {"CELLW_CURRENT", "0x10"},       {"CELLW_AMPERAGE", "-30001"},
        {"CELLW_VOLTAGE", "5000 mV"},    {"CELLW_DESIGNCAP", "+6000"},
        {"CELLW_CYCLECOUNT", "100001"},  {"CELLW_MACHINECODE", "one"},
        {"CELLW_MACHINECODE", "4294967297"}, {"CELLW_FLAGS", "11;11"},
    };
    // clang-format on
    for (const auto &[field, value] : badFields) {
        SCOPED_TRACE(std::string(field) + "=" + value);
        StatsRequest malformed = request("/cellw_logbatt.php", sampleFields("1", "1111"));
        malformed.headers.erase(field);
        malformed.headers.emplace(field, value);
        EXPECT_EQ(service.handle(malformed).status, 400);
    }
    StatsRequest twice = request("/cellw_logbatt.php", sampleFields("1", "1111"));
    twice.headers.emplace("CELLW_CAPACITY", "1112");
    EXPECT_EQ(service.handle(twice).status, 400);

    for (qint64 unknown : {-1, 0, 42})
        EXPECT_EQ(upload(unknown, "4000").body, "ignored\n") << unknown;
    EXPECT_EQ(service.handle(request("/cellw_logbatt.php", {{"CELLW_CAPACITY", "4000"}})).body, "ignored\n");
    EXPECT_EQ(upload(machine, "(null)").body, "ok\n") << "a missing value is accepted";
    const auto votes = store.votesByModel().value().begin()->second;
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes.front().capacity, 5000) << "the last complete sample of a known machine is still the vote";
}

TEST_F(StatsServiceTest, ModelListNamesModelsWithAVoteAndSortsByName)
{
    upload(registerMachine("MacBookPro11,1"), "5000");
    upload(registerMachine("Inspiron15-7000"), "5000");
    upload(registerMachine("MacBookAir6,2"), "(null)"); // accepted, but no vote
    registerMachine("MacBook8,1");
    service.refreshSnapshot();
    const auto record = [](qint64 id, const QString &name, const QString &code) {
        return QVariantMap{{u"pb_modelid"_s, id}, {u"name"_s, name}, {u"code"_s, code}};
    };
    EXPECT_EQ(parsedBody(service.handle(request("/cellw_pbmodels.php"))),
              (QVariantList{record(2, u"Inspiron15-7000"_s, u"Inspiron15-7000"_s),
                            record(1, u"MacBook Pro (Retina, 13-inch, Late 2013)"_s, u"MacBookPro11,1"_s)}));
    EXPECT_EQ(parsedBody(service.handle(request("/cellw_averages_2.php"))).toList().size(), 2);
}

TEST_F(StatsServiceTest, VersionCheckComparesWithTheCurrentVersion)
{
    const struct {
        Fields query;
        bool success, alertNew;
    } rows[] = {
        {{{"name", "Cellwise"}, {"ver", "1.1.9"}}, true, true},
        {{{"name", "Cellwise"}, {"ver", "0.9"}}, true, true},
        {{{"name", "Cellwise"}, {"ver", "1.2"}}, true, false},
        {{{"name", "Cellwise"}, {"ver", "1.10"}}, true, false},
        {{{"name", "Cellwise"}, {"ver", "1.2.0 (beta)"}}, true, false},
        {{{"name", "Cellwise"}}, false, false},
        {{{"ver", "1.0"}}, false, false},
        {{{"name", ""}, {"ver", "1.0"}}, false, false},
        {{{"name", "Cellwise"}, {"ver", "latest"}}, false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.query));
        EXPECT_EQ(parsedBody(service.handle(request("/versioncheck.php", row.query, "GET"))),
                  (QVariantMap{{u"success"_s, row.success},
                               {u"alertNew"_s, row.alertNew},
                               {u"currentVersion"_s, u"1.2.0"_s},
                               {u"productPage"_s, u"https://example.org/cellwise"_s}}));
    }
    StatsService withoutPage(store, {3, u"2.0"_s, QString()});
    EXPECT_FALSE(
        parsedBody(withoutPage.handle(request("/versioncheck.php", {{"name", "Cellwise"}, {"ver", "1.0"}}, "GET")))
            .toMap()
            .contains(u"productPage"_s));
}

TEST_F(StatsServiceTest, UnknownPathsAndWrongMethodsAreErrors)
{
    EXPECT_EQ(service.handle(request("/index.php")).status, 404);
    EXPECT_EQ(service.handle(request("/cellw_register_machine.php/../etc")).status, 404);
    EXPECT_EQ(service.handle(request("/cellw_averages_2.php", {}, "GET")).status, 405);
    EXPECT_EQ(service.handle(request("/versioncheck.php")).status, 405);
}

// ---- Command line -----------------------------------------------------------------------------

std::optional<ServerOptions> parsed(QStringList arguments)
{
    QString error;
    arguments.prepend(u"cellwise-server"_s);
    auto options = parseServerOptions(arguments, error);
    EXPECT_EQ(options.has_value(), error.isEmpty()) << "a refusal says why";
    return options;
}

TEST(ServerOptions, ByDefaultItServesWhereTheApplicationLooksFromTheUserDataFolder)
{
    const auto options = parsed({});
    ASSERT_TRUE(options);
    ScopedEnv noServer("CELLWISE_SERVER", QByteArray());
    UserDefaults::standard().clearAll();
    EXPECT_EQ(LXCWServer::serverURL(), u"http://%1:%2"_s.arg(QString::fromStdString(options->host)).arg(options->port));
    EXPECT_EQ(options->databasePath, qEnvironmentVariable("XDG_DATA_HOME") + u"/Cellwise/server.sqlite"_s);
}

TEST(ServerOptions, ReadsEveryOptionAndRefusesUnusableValues)
{
    const auto options = parsed({u"--listen"_s, u"[::1]:0"_s, u"--db"_s, u"/tmp/x.sqlite"_s, u"--min-machines"_s,
                                 u"5"_s, u"--current-version"_s, u"2.1"_s, u"--product-page"_s,
                                 u"https://example.org/"_s, u"--refresh-seconds"_s, u"30"_s, u"--flood-limit"_s, u"0"_s,
                                 u"--registration-limit"_s, u"7"_s, u"--help"_s});
    ASSERT_TRUE(options);
    EXPECT_EQ(std::tuple(options->host, options->port, options->minMachines, options->showHelp),
              std::tuple(std::string("::1"), 0, 5, true));
    EXPECT_EQ(std::tuple(options->refreshSeconds, options->floodPerSecond, options->registrationsPerSecond),
              std::tuple(30, 0, 7));
    EXPECT_EQ(QStringList({options->databasePath, options->currentVersion, options->productPage}),
              QStringList({u"/tmp/x.sqlite"_s, u"2.1"_s, u"https://example.org/"_s}));

    // clang-format off
    const QStringList refused[] = {
        {u"--listen"_s, u"8642"_s}, {u"--listen"_s, u":8642"_s}, {u"--listen"_s, u"localhost:70000"_s},
        {u"--listen"_s, u"localhost:http"_s}, {u"--min-machines"_s, u"0"_s}, {u"--min-machines"_s, u"three"_s},
        {u"--current-version"_s, u"latest"_s}, {u"--bogus"_s}, {u"stray"_s}, {u"--db"_s},
        {u"--refresh-seconds"_s, u"0"_s}, {u"--refresh-seconds"_s, u"86401"_s}, {u"--flood-limit"_s, u"-1"_s},
        {u"--registration-limit"_s, u"-1"_s},
    };
    // clang-format on
    for (const QStringList &arguments : refused)
        EXPECT_FALSE(parsed(arguments)) << arguments.join(u' ').toStdString();
}

} // namespace
