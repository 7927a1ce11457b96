#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One worker thread running queued tasks one at a time, in the order they were queued.
class SerialQueue {
public:
    SerialQueue();
    // Tasks still waiting are dropped; the one running is finished first.
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    void async(std::function<void()> task);
    // Returns once every task queued before the call has run.
    void sync();

private:
    void _run();

    std::mutex _mutex;
    std::condition_variable _wake;
    std::deque<std::function<void()>> _tasks;
    bool _stopping = false;
    std::thread _worker; // last: starts once the members above exist
};
