// The statistics server's HTTP layer on loopback, and how its executable starts and fails to.
#include "ServerProcess.h"
#include "SqliteStatsStore.h"
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A socket connected from a loopback address (all of 127/8 is loopback), or -1.
int connectTo(int port, const char *from = "127.0.0.1")
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{5, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &address.sin_addr);
    if (::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
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
    for (ssize_t received = 0;
         answer.find("\r\n") == std::string::npos && (received = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(received));
    ::close(socket);
    return answer.substr(0, 12);
}

// A registration as the application sends it: a POST without body or Content-Length.
std::string registration(const std::string &extraHeaders = {})
{
    return "POST /cellw_register_machine.php HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-agent: Cellwise\r\n"
           "CELLW_MODELCODE: MacBookPro11,1\r\n"
           + extraHeaders + "Connection: close\r\n\r\n";
}

// Connections from one address that send the start of a request, then a byte every 50 ms for as
// long as they live.
class SlowClients {
public:
    SlowClients(int port, const char *from, int count)
    {
        static const std::string start = "POST /cellw_register_machine.php HTTP/1.1\r\nX-Slow: ";
        for (int i = 0; i < count; ++i) {
            _sockets.push_back(connectTo(port, from));
            ::send(_sockets.back(), start.data(), start.size(), MSG_NOSIGNAL);
        }
        _trickling = std::thread([this] {
            while (!_done) {
                for (const int socket : _sockets)
                    ::send(socket, "x", 1, MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    ~SlowClients()
    {
        _done = true;
        _trickling.join();
        for (const int socket : _sockets)
            ::close(socket);
    }

    // How many connections the server answered with this status line before it closed them, closed
    // without a word ("closed"), or left open without a word for the next 5 s ("open").
    std::map<std::string, int> endings() const
    {
        std::map<std::string, int> counts;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (const int socket : _sockets) {
            using std::chrono::microseconds;
            const microseconds left =
                std::max(microseconds(1), std::chrono::ceil<microseconds>(deadline - std::chrono::steady_clock::now()));
            const timeval timeout{left.count() / 1000000, left.count() % 1000000};
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            std::string answer;
            char buffer[4096];
            ssize_t received = 0;
            while ((received = ::recv(socket, buffer, sizeof buffer, 0)) > 0)
                answer.append(buffer, size_t(received));
            ++counts[received < 0 && errno == EAGAIN ? "open" : answer.empty() ? "closed" : answer.substr(0, 12)];
        }
        return counts;
    }

private:
    std::vector<int> _sockets;
    std::atomic<bool> _done = false;
    std::thread _trickling;
};

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
        statuses.push_back(
            statusOf("GET /versioncheck.php?name=Cellwise&ver=1.0 HTTP/1.1\r\nConnection: close\r\n\r\n"));
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

TEST_F(StatsHttpTest, SlowClientsFromOneAddressHoldNoOneElseUpAndAreCutAtTheDeadline)
{
    HttpLimits limits;
    limits.requestDeadline = std::chrono::milliseconds(1000);
    start(limits);
    const SlowClients slow(http->port(), "127.0.0.2", 200);
    EXPECT_EQ(statusOf(registration()), "HTTP/1.1 200");
    const int admitted = int(limits.connectionsPerAddress);
    EXPECT_EQ(slow.endings(), (std::map<std::string, int>{{"closed", admitted}, {"HTTP/1.1 503", 200 - admitted}}))
        << "the admitted ones end at the deadline, however steadily they send";
}

TEST_F(StatsHttpTest, AStopDoesNotWaitForSlowClients)
{
    start();
    const SlowClients slow(http->port(), "127.0.0.2", 20);
    EXPECT_EQ(statusOf(registration()), "HTTP/1.1 200"); // the slow ones are in by now
    const auto stopping = std::chrono::steady_clock::now();
    http->stop();
    serving.join();
    http.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, HttpLimits().requestDeadline / 2);
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
