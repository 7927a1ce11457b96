#include "StatsHttpServer.h"

#include "Console.h"
#include "StatsService.h"

#include <QString>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t keepAliveMaxCount = 100;   // requests per connection
constexpr milliseconds keepAliveIdle{5000}; // between two requests on one connection
constexpr milliseconds stopGrace{1000};     // for a reply being written when the server stops

// The address and port at either end of a connected socket.
void endpoint(int socket, bool peer, std::string &ip, int &port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int found = peer ? ::getpeername(socket, reinterpret_cast<sockaddr *>(&address), &length)
                           : ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length);
    char text[INET6_ADDRSTRLEN] = {};
    port = 0;
    if (found == 0 && address.ss_family == AF_INET) {
        const auto &v4 = reinterpret_cast<const sockaddr_in &>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (found == 0 && address.ss_family == AF_INET6) {
        const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

// One accepted connection as the library reads and writes it. Every wait ends at the deadline of the
// exchange in progress, and a wait for the client's bytes also when the server stops: the library's
// own timeouts restart with every byte, so a trickling client would otherwise never time out.
class Connection final : public httplib::Stream {
public:
    Connection(int socket, int stopSignal, milliseconds requestDeadline)
        : _socket(socket)
        , _stopSignal(stopSignal)
        , _requestDeadline(requestDeadline)
    {
    }

    // Waits, at most the keep-alive idle time, for the next request to begin; from the wait's start
    // that request has the request deadline to arrive whole and its reply to leave. False when none
    // began in time or the server stops.
    bool awaitRequest()
    {
        const Clock::time_point start = Clock::now();
        _deadline = start + std::min(keepAliveIdle, _requestDeadline);
        const bool ready = is_readable();
        _deadline = start + _requestDeadline;
        return ready;
    }

    bool is_readable() const override { return _start < _end || _wait(POLLIN); }
    bool is_writable() const override { return _wait(POLLOUT); }

    ssize_t read(char *data, size_t size) override
    {
        if (_start == _end) {
            if (!_wait(POLLIN))
                return -1;
            const ssize_t received = ::recv(_socket, _buffer, sizeof _buffer, 0);
            if (received <= 0)
                return received;
            _start = 0;
            _end = size_t(received);
        }
        const size_t taken = std::min(size, _end - _start);
        std::memcpy(data, _buffer + _start, taken);
        _start += taken;
        return ssize_t(taken);
    }

    ssize_t write(const char *data, size_t size) override
    {
        return _wait(POLLOUT) ? ::send(_socket, data, size, MSG_NOSIGNAL) : -1;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override { endpoint(_socket, true, ip, port); }
    void get_local_ip_and_port(std::string &ip, int &port) const override { endpoint(_socket, false, ip, port); }
    socket_t socket() const override { return _socket; }

private:
    bool _wait(short events) const
    {
        const bool reading = events == POLLIN;
        for (;;) {
            pollfd watched[] = {{_socket, events, 0}, {_stopSignal, POLLIN, 0}};
            const auto left = std::chrono::ceil<milliseconds>(_deadline - Clock::now()).count();
            const int ready = left > 0 ? ::poll(watched, reading || !_stopping ? 2 : 1, int(left)) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            if (watched[1].revents == 0)
                return true;
            // The server stops: a request still arriving is dropped, a reply gets a moment to leave.
            if (reading)
                return false;
            _stopping = true;
            _deadline = std::min(_deadline, Clock::now() + stopGrace);
        }
    }

    const int _socket;
    const int _stopSignal;
    const milliseconds _requestDeadline;
    mutable Clock::time_point _deadline;
    mutable bool _stopping = false;
    char _buffer[4096];
    size_t _start = 0; // unread bytes of _buffer
    size_t _end = 0;
};

} // namespace

StatsHttpServer::Server::~Server()
{
    if (svr_sock_ != INVALID_SOCKET)
        ::close(svr_sock_);
}

StatsHttpServer::StatsHttpServer(StatsService &service, HttpLimits limits)
    : _service(service)
    , _limits(limits)
    , _flood(limits.burst, limits.perSecond)
    , _stopSignal(::eventfd(0, EFD_CLOEXEC))
{
    _server.set_payload_max_length(_limits.maxBodyBytes);
    // The library's default adds SO_REUSEPORT, which would let a second server share the port
    // unnoticed; SO_REUSEADDR alone still allows a quick restart.
    _server.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    _server.set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) { return _screen(request, response); });
    _server.Get(".*",
                [this](const httplib::Request &request, httplib::Response &response) { _serve(request, response); });
    // With a content reader the library does not insist on a Content-Length: a POST without one has
    // no body (RFC 9112), which is how the client may send its requests. A body is read and dropped.
    _server.Post(".*", [this](const httplib::Request &request, httplib::Response &response,
                              const httplib::ContentReader &readBody) {
        const bool hasBody = request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
        if (hasBody && !readBody([](const char *, size_t) { return true; })) {
            response.status = 413;
            return;
        }
        _serve(request, response);
    });
    _server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &response) {
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            response.set_content("error " + std::to_string(response.status) + "\n", plainTextType);
            return httplib::Server::HandlerResponse::Handled;
        }));
    _server.set_exception_handler([](const httplib::Request &request, httplib::Response &response, std::exception_ptr) {
        Console::line(QStringLiteral("ERROR: request for %1 failed").arg(QString::fromStdString(request.path)));
        response.status = 500;
        response.set_content("internal error\n", plainTextType);
    });
}

StatsHttpServer::~StatsHttpServer()
{
    ::close(_stopSignal);
}

bool StatsHttpServer::bind(const std::string &host, int port)
{
    _port = port == 0 ? _server.bind_to_any_port(host) : (_server.bind_to_port(host, port) ? port : -1);
    if (_port <= 0) {
        Console::line(QStringLiteral("ERROR: cannot listen on %1:%2").arg(QString::fromStdString(host)).arg(port));
        return false;
    }
    // The library listens with a backlog of 5 connections; clients that connect at the same moment
    // beyond that would wait a second for their retry.
    ::listen(_server.listeningSocket(), SOMAXCONN);
    return true;
}

bool StatsHttpServer::listen()
{
    httplib::ThreadPool workers(_limits.workers);
    pollfd watched[] = {{_server.listeningSocket(), POLLIN, 0}, {_stopSignal, POLLIN, 0}};
    bool served = true;
    while (served && watched[1].revents == 0) {
        if (::poll(watched, 2, -1) < 0) {
            served = errno == EINTR;
            if (!served)
                Console::line(
                    QStringLiteral("ERROR: serving failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            continue;
        }
        if (watched[0].revents == 0)
            continue;
        const int socket = ::accept4(watched[0].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EMFILE || errno == ENFILE) // until a connection ends
                std::this_thread::sleep_for(milliseconds(100));
            continue;
        }
        std::string address;
        int port = 0;
        endpoint(socket, true, address, port);
        if (!_admit(address)) {
            static const char busy[] =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            ::send(socket, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(socket);
            continue;
        }
        workers.enqueue([this, socket, address] {
            _serveConnection(socket);
            std::lock_guard lock(_connectionsMutex);
            if (--_connections[address] == 0)
                _connections.erase(address);
        });
    }
    workers.shutdown();
    return served;
}

bool StatsHttpServer::_admit(const std::string &address)
{
    std::lock_guard lock(_connectionsMutex);
    size_t &open = _connections[address];
    if (open >= _limits.connectionsPerAddress)
        return false;
    ++open;
    return true;
}

void StatsHttpServer::_serveConnection(int socket)
{
    const int yes = 1; // replies are small; waiting to fill a segment costs tens of ms
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    Connection connection(socket, _stopSignal, _limits.requestDeadline);
    bool closed = false;
    for (size_t left = keepAliveMaxCount; left > 0 && !closed && connection.awaitRequest(); --left) {
        if (!_server.exchange(connection, left == 1, closed))
            break;
    }
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

void StatsHttpServer::stop()
{
    const eventfd_t stopped = 1;
    ::eventfd_write(_stopSignal, stopped);
}

httplib::Server::HandlerResponse StatsHttpServer::_screen(const httplib::Request &request, httplib::Response &response)
{
    if (!_flood.allow(request.remote_addr)) {
        response.status = 429;
        response.set_content("too many requests\n", plainTextType);
        return httplib::Server::HandlerResponse::Handled;
    }
    size_t bytes = 0;
    for (const auto &[name, value] : request.headers)
        bytes += name.size() + value.size();
    if (request.headers.size() > _limits.maxHeaderCount || bytes > _limits.maxHeaderBytes) {
        response.status = 431;
        response.set_content("request header fields too large\n", plainTextType);
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void StatsHttpServer::_serve(const httplib::Request &request, httplib::Response &response)
{
    const StatsReply reply = _service.handle({request.method, request.path, request.headers, request.params});
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType.c_str());
}
