#pragma once

// A local HTTP server for the network client's tests: loopback, a free port, a chosen answer per
// path, and a record of every request it saw.
#include "StoppableHttpServer.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HttpTestServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        int delayMs = 0; // before answering
    };

    struct Request {
        std::string method;
        std::string target; // path and query as sent
        std::string body;
        httplib::Headers headers;

        std::string header(const std::string &name) const
        {
            const auto found = headers.find(name);
            return found == headers.end() ? std::string() : found->second;
        }
        // The statistics server's fields among the headers.
        std::multimap<std::string, std::string> cellwFields() const
        {
            std::multimap<std::string, std::string> fields;
            std::copy_if(headers.begin(), headers.end(), std::inserter(fields, fields.end()),
                         [](const auto &field) { return field.first.starts_with("CELLW_"); });
            return fields;
        }
    };

    HttpTestServer()
    {
        const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
            _serve(request, response);
        };
        // One request per connection: an idle keep-alive connection would hold up stopping.
        _server.set_keep_alive_max_count(1);
        _server.set_keep_alive_timeout(1); // also how long a connection that never sent a request is kept
        _server.set_read_timeout(1);
        _server.Get(".*", handler);
        _server.Post(".*", handler);
        _port = _server.bind_to_any_port("127.0.0.1");
        _thread = std::thread([this] { _server.serve(); });
    }

    ~HttpTestServer()
    {
        _stopping = true;
        _server.halt();
        _thread.join();
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(_port); }

    // Paths without an answer get 404.
    void answer(const std::string &path, Answer answer)
    {
        std::lock_guard lock(_mutex);
        _answers[path] = std::move(answer);
    }

    std::vector<Request> requests() const
    {
        std::lock_guard lock(_mutex);
        return _requests;
    }

private:
    void _serve(const httplib::Request &request, httplib::Response &response)
    {
        Answer answer{404, "no such page"};
        {
            std::lock_guard lock(_mutex);
            _requests.push_back({request.method, request.target, request.body, request.headers});
            if (const auto found = _answers.find(request.path); found != _answers.end())
                answer = found->second;
        }
        // In steps, so stopping the server need not wait out a long delay.
        for (int waited = 0; waited < answer.delayMs && !_stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        response.status = answer.status;
        response.set_content(answer.body, "text/plain");
    }

    StoppableHttpServer _server;
    std::thread _thread;
    int _port = -1;
    std::atomic<bool> _stopping = false;
    mutable std::mutex _mutex;
    std::map<std::string, Answer> _answers;
    std::vector<Request> _requests;
};
