#pragma once

#include <atomic>
#include <chrono>
#include <httplib.h>
#include <thread>

// An httplib::Server that a halt() from any thread ends, whenever it comes. The library ignores
// stop() until its accept loop runs: here a halt that comes before serve() keeps serving from
// starting, and one that comes while serving starts waits for the loop.
class StoppableHttpServer : public httplib::Server {
public:
    // Serves on the bound socket until halt(); false when serving failed.
    bool serve()
    {
        _serving = true;
        const bool served = _haltRequested || listen_after_bind();
        _serving = false;
        return served;
    }

    void halt()
    {
        _haltRequested = true;
        while (_serving && !is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stop();
    }

private:
    std::atomic<bool> _serving = false;
    std::atomic<bool> _haltRequested = false;
};
