// The statistics server's HTTP layer on loopback, and how its executable starts and fails to.
#include "ServerProcess.h"
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "SqliteStatsStore.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A connected socket, or -1.
int connectTo(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{5, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return socket;
    ::close(socket);
    return -1;
}

// Sends bytes on a fresh connection and returns the status line of the answer, or what came until
// the server closed the connection or 5 s passed.
std::string statusOf(int port, const std::string &bytes)
{
    std::string answer;
    const int socket = connectTo(port);
    ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t received = 0; answer.find("\r\n") == std::string::npos
         && (received = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(received));
    ::close(socket);
    return answer.substr(0, 12);
}

// A registration as the application sends it: a POST without body or Content-Length.
std::string registration(const std::string &extraHeaders = {})
{
    return "POST /cellw_register_machine.php HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-agent: Cellwise\r\n"
           "CELLW_MODELCODE: MacBookPro11,1\r\n" + extraHeaders + "Connection: close\r\n\r\n";
}

class StatsHttpTest : public ::testing::Test {
protected:
    void start(HttpLimits limits = {})
    {
        ASSERT_TRUE(store.open(dir.path() + u"/server.sqlite"_s));
        http = std::make_unique<StatsHttpServer>(service, limits);
        ASSERT_TRUE(http->bind("127.0.0.1", 0));
        serving = std::thread([this] { http->listen(); });
    }
    void TearDown() override
    {
        if (!http)
            return;
        http->stop();
        serving.join();
    }
    std::string statusOf(const std::string &request) { return ::statusOf(http->port(), request); }

    QTemporaryDir dir;
    SqliteStatsStore store;
    StatsService service{store, {3, u"1.2.0"_s, QString()}};
    std::unique_ptr<StatsHttpServer> http;
    std::thread serving;
};

TEST_F(StatsHttpTest, ServesWhatTheApplicationSendsAndRefusesMalformedOrOversizedRequests)
{
    start();
    std::string manyHeaders;
    for (int i = 0; i < 100; ++i)
        manyHeaders += "X-Field-" + std::to_string(i) + ": 1\r\n";
    const std::pair<std::string, const char *> rows[] = {
        {registration(), "HTTP/1.1 200"}, // a POST without body or Content-Length
        {"GARBAGE\r\n\r\n", "HTTP/1.1 400"},
        {"POST /cellw_register_machine.php HTTP/1.1\r\nCELLW_MODELCODE " + std::string(100, 'x') + "\r\n\r\n",
         "HTTP/1.1 400"},
        {registration("X-Long: " + std::string(9000, 'x') + "\r\n"), "HTTP/1.1 4"},
        {registration(manyHeaders), "HTTP/1.1 431"},
        {registration("Content-Length: 10000\r\n") + std::string(10000, 'b'), "HTTP/1.1 413"},
        {"PUT /cellw_logbatt.php HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 4"},
    };
    for (const auto &[request, status] : rows)
        EXPECT_TRUE(statusOf(request).starts_with(status)) << request.substr(0, 60);
    EXPECT_EQ(store.models().value().size(), 1u) << "only the sound registration was stored";
}

TEST_F(StatsHttpTest, RefusesFloodsFromOneAddress)
{
    HttpLimits limits;
    limits.burst = 5;
    limits.perSecond = 0.001;
    start(limits);
    std::vector<std::string> statuses;
    for (int i = 0; i < 7; ++i)
        statuses.push_back(statusOf("GET /versioncheck.php?name=Cellwise&ver=1.0 HTTP/1.1\r\nConnection: close\r\n\r\n"));
    const std::string ok = "HTTP/1.1 200", tooMany = "HTTP/1.1 429";
    EXPECT_EQ(statuses, (std::vector<std::string>{ok, ok, ok, ok, ok, tooMany, tooMany}));
}

TEST_F(StatsHttpTest, KeepsServingAfterClientsHangUpHalfway)
{
    start();
    for (int i = 0; i < 10; ++i) {
        const int socket = connectTo(http->port());
        ::send(socket, "POST /cellw_register_machine.php HTTP/1.1\r\nCELLW_MOD", 51, MSG_NOSIGNAL);
        ::close(socket);
    }
    EXPECT_EQ(statusOf(registration()), "HTTP/1.1 200");
}

TEST(StatsHttpServer, AStopBeforeServingKeepsItFromStarting)
{
    SqliteStatsStore store;
    StatsService service(store, {});
    StatsHttpServer http(service);
    ASSERT_TRUE(http.bind("127.0.0.1", 0));
    http.stop();
    EXPECT_TRUE(http.listen()); // returns at once instead of serving forever
}

TEST(CellwiseServerProcess, ExitsWithAnErrorWhenItCannotStartAndDescribesItsOptions)
{
    QTemporaryDir dir;
    ServerProcess first({u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s, dir.path() + u"/a.sqlite"_s});
    const int port = first.port();
    ASSERT_GT(port, 0) << first.errors().toStdString();
    const struct {
        QStringList arguments;
        int exitCode;
    } rows[] = {
        {{u"--listen"_s, u"127.0.0.1:0"_s, u"--db"_s, dir.path()}, 1}, // a folder is no database
        {{u"--listen"_s, u"127.0.0.1:%1"_s.arg(port), u"--db"_s, dir.path() + u"/b.sqlite"_s}, 1}, // port taken
        {{u"--min-machines"_s, u"none"_s}, 2},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ServerProcess(row.arguments).finish(), row.exitCode) << row.arguments.join(u' ').toStdString();

    ServerProcess help({u"--help"_s});
    ASSERT_EQ(help.finish(), 0);
    const QByteArray text = help.process().readAllStandardOutput();
    for (const char *option : {"--listen", "--db", "--min-machines", "--current-version", "--product-page", "--help"})
        EXPECT_TRUE(text.contains(option)) << option;
}

} // namespace
