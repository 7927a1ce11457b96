#include "SerialQueue.h"

#include <future>

SerialQueue::SerialQueue()
    : _worker([this] { _run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        const std::lock_guard lock(_mutex);
        _stopping = true;
        _tasks.clear();
    }
    _wake.notify_one();
    _worker.join();
}

void SerialQueue::async(std::function<void()> task)
{
    {
        const std::lock_guard lock(_mutex);
        _tasks.push_back(std::move(task));
    }
    _wake.notify_one();
}

void SerialQueue::sync()
{
    std::promise<void> done;
    async([&done] { done.set_value(); });
    done.get_future().wait();
}

void SerialQueue::_run()
{
    std::unique_lock lock(_mutex);
    for (;;) {
        _wake.wait(lock, [this] { return _stopping || !_tasks.empty(); });
        if (_stopping)
            return;
        std::function<void()> task = std::move(_tasks.front());
        _tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}
