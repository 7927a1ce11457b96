#pragma once

#include "FloodLimiter.h"

#include <chrono>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>

class StatsService;

struct HttpLimits {
    double burst = 60;                 // requests one address may make at once
    double perSecond = 10;             // and then each second
    size_t maxHeaderCount = 64;        // the client sends about ten
    size_t maxHeaderBytes = 16 * 1024; // names and values together
    size_t maxBodyBytes = 4096;        // requests carry no body
    // A request must arrive whole, and its reply leave, within this: a client trickling a byte at a
    // time cannot hold a worker for longer.
    std::chrono::milliseconds requestDeadline{10000};
    size_t connectionsPerAddress = 32; // open at once; more are turned away
    size_t workers = 128;              // connections served at once
};

// Serves a StatsService over HTTP/1.1: refuses floods, oversized requests and unknown methods before
// the service sees them, and slow or idle clients within the request deadline.
class StatsHttpServer {
public:
    explicit StatsHttpServer(StatsService &service, HttpLimits limits = {});
    ~StatsHttpServer();
    StatsHttpServer(const StatsHttpServer &) = delete;
    StatsHttpServer &operator=(const StatsHttpServer &) = delete;

    // Port 0 picks a free port. False with a console line when the address cannot be bound.
    bool bind(const std::string &host, int port);
    int port() const { return _port; }

    // Serves until stop(); false when serving failed.
    bool listen();
    // From any thread, also before listen(). listen() returns at once when nothing is in progress;
    // requests still arriving are dropped, and replies being written get a second to leave.
    void stop();

private:
    httplib::Server::HandlerResponse _screen(const httplib::Request &request, httplib::Response &response);
    void _serve(const httplib::Request &request, httplib::Response &response);
    bool _admit(const std::string &address);
    void _serveConnection(int socket);

    // The library's request parsing and routing, on connections that this server accepts and
    // times itself.
    class Server : public httplib::Server {
    public:
        ~Server() override;
        int listeningSocket() const { return svr_sock_; }
        bool exchange(httplib::Stream &stream, bool last, bool &closed)
        {
            return process_request(stream, last, closed, nullptr);
        }
    };

    StatsService &_service;
    const HttpLimits _limits;
    FloodLimiter _flood;
    Server _server;
    int _port = -1;
    const int _stopSignal; // an eventfd, readable once stop() was called
    std::mutex _connectionsMutex;
    std::map<std::string, size_t> _connections; // open connections per address
};
