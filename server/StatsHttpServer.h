#pragma once

#include "FloodLimiter.h"
#include "StoppableHttpServer.h"

#include <string>

class StatsService;

struct HttpLimits {
    double burst = 60;                   // requests one address may make at once
    double perSecond = 10;               // and then each second
    size_t maxHeaderCount = 64;          // the client sends about ten
    size_t maxHeaderBytes = 16 * 1024;   // names and values together
    size_t maxBodyBytes = 4096;          // requests carry no body
};

// Serves a StatsService over HTTP/1.1: refuses floods, oversized requests and unknown methods before
// the service sees them.
class StatsHttpServer {
public:
    explicit StatsHttpServer(StatsService &service, HttpLimits limits = {});

    // Port 0 picks a free port. False with a console line when the address cannot be bound.
    bool bind(const std::string &host, int port);
    int port() const { return _port; }

    // Serves until stop(); false when serving failed.
    bool listen();
    // From any thread; listen() returns once requests in progress are answered.
    void stop();

private:
    httplib::Server::HandlerResponse _screen(const httplib::Request &request, httplib::Response &response);
    void _serve(const httplib::Request &request, httplib::Response &response);

    // The library listens with a backlog of 5 connections; clients that connect at the same moment
    // beyond that wait a second for their retry.
    class Server : public StoppableHttpServer {
    public:
        void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
    };

    StatsService &_service;
    const HttpLimits _limits;
    FloodLimiter _flood;
    Server _server;
    int _port = -1;
};
