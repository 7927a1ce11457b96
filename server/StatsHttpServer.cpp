#include "StatsHttpServer.h"

#include "Console.h"
#include "StatsService.h"

#include <QString>

StatsHttpServer::StatsHttpServer(StatsService &service, HttpLimits limits)
    : _service(service)
    , _limits(limits)
    , _flood(limits.burst, limits.perSecond)
{
    _server.set_payload_max_length(_limits.maxBodyBytes);
    _server.set_read_timeout(5);  // s; a slow client cannot hold a worker for long
    _server.set_write_timeout(5); // s
    _server.set_keep_alive_timeout(5);
    _server.set_tcp_nodelay(true); // replies are small; waiting to fill a segment costs tens of ms
    // The library's default adds SO_REUSEPORT, which would let a second server share the port
    // unnoticed; SO_REUSEADDR alone still allows a quick restart.
    _server.set_socket_options([](socket_t socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    _server.set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        return _screen(request, response);
    });
    _server.Get(".*", [this](const httplib::Request &request, httplib::Response &response) { _serve(request, response); });
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
    _server.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &response) {
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

bool StatsHttpServer::bind(const std::string &host, int port)
{
    _port = port == 0 ? _server.bind_to_any_port(host) : (_server.bind_to_port(host, port) ? port : -1);
    if (_port <= 0) {
        Console::line(QStringLiteral("ERROR: cannot listen on %1:%2").arg(QString::fromStdString(host)).arg(port));
        return false;
    }
    _server.widenBacklog();
    return true;
}

bool StatsHttpServer::listen()
{
    return _server.serve();
}

void StatsHttpServer::stop()
{
    _server.halt();
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
