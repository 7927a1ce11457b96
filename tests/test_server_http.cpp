// The statistics server over real HTTP, on loopback at a port of its own choosing.
#include "PropertyListParser.h"
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "SqliteStatsStore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether answer holds a whole response: the header and as much body as its Content-Length says.
bool isComplete(const std::string &answer)
{
    const size_t headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return false;
    static const std::string field = "Content-Length: ";
    const size_t length = answer.find(field);
    if (length == std::string::npos || length > headerEnd)
        return true;
    return answer.size() >= headerEnd + 4 + std::stoul(answer.substr(length + field.size()));
}

// Sends bytes on a fresh connection and returns the server's answer: one whole response, or what
// came until the server closed the connection or 5 s passed.
std::string rawExchange(int port, const std::string &bytes)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        char buffer[4096];
        ssize_t received = 0;
        while (!isComplete(answer) && (received = ::recv(socket, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, size_t(received));
    }
    ::close(socket);
    return answer;
}

std::string registration(const std::string &extraHeaders = {})
{
    return "POST /cellw_register_machine.php HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-agent: Cellwise\r\n"
           "CELLW_MODELCODE: MacBookPro11,1\r\n" + extraHeaders + "Connection: close\r\n\r\n";
}

QVariant parsedBody(const httplib::Result &result)
{
    EXPECT_TRUE(result);
    if (!result)
        return {};
    EXPECT_EQ(result->status, 200);
    return PropertyListParser::parse(QByteArray::fromStdString(result->body));
}

class StatsHttpTest : public ::testing::Test {
protected:
    void start(HttpLimits limits = {})
    {
        ASSERT_TRUE(store.open(dir.path() + QStringLiteral("/server.sqlite")));
        http = std::make_unique<StatsHttpServer>(service, limits);
        ASSERT_TRUE(http->bind("127.0.0.1", 0));
        serving = std::thread([this] { http->listen(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", http->port());
        client->set_connection_timeout(5);
        client->set_read_timeout(5);
        client->set_default_headers({{"User-agent", "Cellwise"}});
    }

    void TearDown() override
    {
        if (!http)
            return;
        http->stop();
        serving.join();
    }

    httplib::Result upload(qint64 machine, int capacity)
    {
        return client->Post("/cellw_logbatt.php", httplib::Headers{{"CELLW_MACHINECODE", std::to_string(machine)},
                                                                   {"CELLW_CAPACITY", std::to_string(capacity)},
                                                                   {"CELLW_CURRENT", "(null)"},
                                                                   {"CELLW_AMPERAGE", "-1200"},
                                                                   {"CELLW_VOLTAGE", "12600"},
                                                                   {"CELLW_DESIGNCAP", "6000"},
                                                                   {"CELLW_CYCLECOUNT", "321"},
                                                                   {"CELLW_FLAGS", "11111"}});
    }

    QTemporaryDir dir;
    SqliteStatsStore store;
    StatsService service{store, {3, QStringLiteral("1.2.0"), QStringLiteral("https://example.org/cellwise")}};
    std::unique_ptr<StatsHttpServer> http;
    std::unique_ptr<httplib::Client> client;
    std::thread serving;
};

TEST_F(StatsHttpTest, ServesRegistrationUploadsAveragesModelsAndVersion)
{
    start();
    std::vector<qint64> machines;
    for (int i = 0; i < 3; ++i) {
        const auto reply = client->Post("/cellw_register_machine.php", httplib::Headers{{"CELLW_MODELCODE", "MacBookPro11,1"}});
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        machines.push_back(std::stoll(reply->body));
    }
    EXPECT_EQ(machines, (std::vector<qint64>{1, 2, 3}));
    for (size_t i = 0; i < machines.size(); ++i) {
        const auto reply = upload(machines[i], 5000 + 100 * int(i));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
    }

    service.refreshSnapshot();
    const QVariantList averages = parsedBody(client->Post("/cellw_averages_2.php")).toList();
    ASSERT_EQ(averages.size(), 1);
    const QVariantMap record = averages.first().toMap();
    EXPECT_EQ(record.value("status"), QVariant(QStringLiteral("ok")));
    EXPECT_EQ(record.value("med_capacity").toLongLong(), 5100);
    EXPECT_EQ(record.value("max_volts").toLongLong(), 12600);

    const QVariantList models = parsedBody(client->Post("/cellw_pbmodels.php")).toList();
    ASSERT_EQ(models.size(), 1);
    EXPECT_EQ(models.first().toMap().value("pb_modelid"), record.value("pb_modelid"));

    const QVariantMap version = parsedBody(client->Get("/versioncheck.php?name=Cellwise&ver=1.0%20%282%29")).toMap();
    EXPECT_EQ(version.value("success"), QVariant(true));
    EXPECT_EQ(version.value("alertNew"), QVariant(true));
    EXPECT_EQ(version.value("productPage"), QVariant(QStringLiteral("https://example.org/cellwise")));
}

TEST_F(StatsHttpTest, APostWithoutContentLengthHasNoBodyAndIsServed)
{
    start();
    const std::string answer = rawExchange(http->port(), registration());
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_TRUE(answer.ends_with("\r\n\r\n1\n")) << answer;
}

TEST_F(StatsHttpTest, RefusesMalformedAndOversizedRequests)
{
    start();
    const auto statusOf = [&](const std::string &request) { return rawExchange(http->port(), request).substr(0, 12); };
    EXPECT_EQ(statusOf("GARBAGE\r\n\r\n"), "HTTP/1.1 400");
    EXPECT_EQ(statusOf("POST /cellw_register_machine.php HTTP/1.1\r\nCELLW_MODELCODE " + std::string(100, 'x') + "\r\n\r\n"),
              "HTTP/1.1 400");
    EXPECT_EQ(statusOf(registration("X-Long: " + std::string(9000, 'x') + "\r\n")).substr(0, 10), "HTTP/1.1 4");
    std::string manyHeaders;
    for (int i = 0; i < 100; ++i)
        manyHeaders += "X-Field-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(statusOf(registration(manyHeaders)), "HTTP/1.1 431");
    EXPECT_EQ(statusOf(registration("Content-Length: 10000\r\n") + std::string(10000, 'b')), "HTTP/1.1 413");
    EXPECT_EQ(statusOf("PUT /cellw_logbatt.php HTTP/1.1\r\nContent-Length: 0\r\n\r\n").substr(0, 10), "HTTP/1.1 4");

    const auto unknown = client->Post("/admin.php");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    const auto badValue = upload(1, -5);
    ASSERT_TRUE(badValue);
    EXPECT_EQ(badValue->status, 400);
    EXPECT_TRUE(store.models().value().empty()) << "nothing refused was stored";
}

TEST_F(StatsHttpTest, RefusesFloodsFromOneAddress)
{
    HttpLimits limits;
    limits.burst = 5;
    limits.perSecond = 0.001;
    start(limits);
    std::vector<int> statuses;
    for (int i = 0; i < 8; ++i) {
        const auto reply = client->Get("/versioncheck.php?name=Cellwise&ver=1.0");
        statuses.push_back(reply ? reply->status : -1);
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200, 200, 429, 429, 429}));
}

TEST_F(StatsHttpTest, KeepsServingAfterClientsHangUpHalfway)
{
    start();
    for (int i = 0; i < 10; ++i) {
        const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(http->port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            ::send(socket, "POST /cellw_register_machine.php HTTP/1.1\r\nCELLW_MOD", 51, MSG_NOSIGNAL);
        ::close(socket);
    }
    EXPECT_EQ(rawExchange(http->port(), registration()).rfind("HTTP/1.1 200", 0), 0u);
}

TEST(StatsHttpServer, AStopBeforeServingKeepsItFromStarting)
{
    QTemporaryDir dir;
    SqliteStatsStore store;
    StatsService service(store, {});
    StatsHttpServer http(service);
    ASSERT_TRUE(http.bind("127.0.0.1", 0));
    http.stop();
    EXPECT_TRUE(http.listen()); // returns at once instead of serving forever
}

// ---- The executable ---------------------------------------------------------------------------

class ServerProcess {
public:
    explicit ServerProcess(const QStringList &arguments)
    {
        _process.setProgram(QStringLiteral(CELLWISE_SERVER_EXECUTABLE));
        _process.setArguments(arguments);
        _process.start();
    }
    ~ServerProcess()
    {
        if (_process.state() != QProcess::NotRunning) {
            _process.kill();
            _process.waitForFinished(5000);
        }
    }

    // The port from the "serving" line, or -1 when the server did not start within 10 s.
    int port()
    {
        static const QRegularExpression serving(QStringLiteral("serving http://127\\.0\\.0\\.1:(\\d+) "));
        for (int i = 0; i < 100; ++i) {
            _errors += _process.readAllStandardError();
            const QRegularExpressionMatch match = serving.match(QString::fromUtf8(_errors));
            if (match.hasMatch())
                return match.captured(1).toInt();
            if (!_process.waitForReadyRead(100) && _process.state() == QProcess::NotRunning)
                break;
        }
        return -1;
    }

    // Exit code after it ended within 10 s, or -1.
    int finish()
    {
        if (!_process.waitForFinished(10000) || _process.exitStatus() != QProcess::NormalExit)
            return -1;
        _errors += _process.readAllStandardError();
        return _process.exitCode();
    }

    QProcess &process() { return _process; }
    QString errors() const { return QString::fromUtf8(_errors); }

private:
    QProcess _process;
    QByteArray _errors;
};

TEST(CellwiseServerProcess, ServesUntilSigtermThenStopsCleanly)
{
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/server.sqlite");
    {
        ServerProcess server({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), database});
        const int port = server.port();
        ASSERT_GT(port, 0) << server.errors().toStdString();
        EXPECT_EQ(rawExchange(port, registration()).rfind("HTTP/1.1 200", 0), 0u);
        server.process().terminate(); // SIGTERM
        EXPECT_EQ(server.finish(), 0);
        EXPECT_TRUE(server.errors().contains(QStringLiteral("cellwise-server: stopped"))) << server.errors().toStdString();
    }
    SqliteStatsStore store;
    ASSERT_TRUE(store.open(database));
    EXPECT_EQ(store.models().value().size(), 1u) << "the registration was stored";
}

TEST(CellwiseServerProcess, ExitsWithAnErrorWhenItCannotStart)
{
    QTemporaryDir dir;
    const QString aFolder = dir.path();
    EXPECT_EQ(ServerProcess({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), aFolder}).finish(), 1);

    ServerProcess first({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), dir.path() + "/a.sqlite"});
    const int port = first.port();
    ASSERT_GT(port, 0);
    const QString taken = QStringLiteral("127.0.0.1:%1").arg(port);
    EXPECT_EQ(ServerProcess({QStringLiteral("--listen"), taken, QStringLiteral("--db"), dir.path() + "/b.sqlite"}).finish(), 1);

    EXPECT_EQ(ServerProcess({QStringLiteral("--min-machines"), QStringLiteral("none")}).finish(), 2);
    ServerProcess help({QStringLiteral("--help")});
    EXPECT_EQ(help.finish(), 0);
    EXPECT_TRUE(help.process().readAllStandardOutput().contains("--product-page"));
}

} // namespace
