#pragma once

#include "DisplayReconfigurationWatcher.h"
#include "SerialQueue.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// Told when the graphics processor in use changes. Kinds: 0 integrated, 1 discrete.
class SessionMagicDelegate {
public:
    virtual ~SessionMagicDelegate() = default;
    // Called on the observer's own thread, not the main thread. Does nothing unless overridden.
    virtual void gpuChangedTo(int /*newKind*/, int /*previousKind*/) {}
};

// The one process-wide observer of the graphics mode: remembers whether the integrated processor is
// in use and flips that belief at every mode-set display reconfiguration, telling its delegate.
class SessionMagic {
public:
    // 0.1 s after a reconfiguration, once the switch has settled.
    static constexpr std::uint32_t kSettleMilliseconds = 100;

    static SessionMagic &sharedInstance();
    SessionMagic(const SessionMagic &) = delete;
    SessionMagic &operator=(const SessionMagic &) = delete;

    // Not owned. Once setDelegate() returns, the previous delegate is not being called any more,
    // so it may go away.
    SessionMagicDelegate *delegate() const;
    void setDelegate(SessionMagicDelegate *delegate);

    // Read from any thread without waiting; may be a switch behind.
    bool usingIntegrated() const { return _usingIntegrated.load(std::memory_order_relaxed); }
    void setUsingIntegrated(bool usingIntegrated)
    {
        _usingIntegrated.store(usingIntegrated, std::memory_order_relaxed);
    }

    // Records a switch away from `previousKind`.
    void gpuChangedFrom(int previousKind);

    // The platform's reconfiguration callback: queues the work on the observer's own thread.
    void displayReconfigured(std::uint32_t display, std::uint32_t flags);
    // Returns once the reconfigurations reported so far have been dealt with.
    void waitForQueuedReconfigurations() { _queue.sync(); }
    DisplayReconfigurationWatcher &displayWatcher() { return *_displayWatcher; }

private:
    SessionMagic();
    ~SessionMagic() = default;

    std::atomic<bool> _usingIntegrated{false};
    mutable std::recursive_mutex _delegateMutex; // the delegate may set another one from its callback
    SessionMagicDelegate *_delegate = nullptr;
    SerialQueue _queue;
    // After the queue: destroyed first, so no reconfiguration arrives at a stopped queue.
    std::unique_ptr<DisplayReconfigurationWatcher> _displayWatcher;
};
