#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Reports display reconfigurations the way the graphics multiplexer's machines announce them: one
// mode-set reconfiguration each time the discrete graphics processor is powered up or down. It
// watches that processor's runtime power state once a second on a thread of its own; a machine
// without two graphics processors has nothing to watch and no thread.
class DisplayReconfigurationWatcher {
public:
    // The flag of a reconfiguration in which a display's mode was set.
    static constexpr std::uint32_t kModeSetFlag = 8;
    using Callback = std::function<void(std::uint32_t display, std::uint32_t flags)>;

    // Calls `callback` on the watcher's thread (or on the thread calling checkNow()).
    explicit DisplayReconfigurationWatcher(Callback callback);
    ~DisplayReconfigurationWatcher();
    DisplayReconfigurationWatcher(const DisplayReconfigurationWatcher &) = delete;
    DisplayReconfigurationWatcher &operator=(const DisplayReconfigurationWatcher &) = delete;

    bool isWatching() const { return !_discrete.isEmpty(); }
    // Reads the power state now and reports a change since the last reading; what the thread does
    // once a second. When it returns, any change it saw has been reported.
    void checkNow();

private:
    void _watch();

    const Callback _callback;
    const QString _discrete; // the discrete processor's device directory; empty when none
    std::mutex _checkMutex;
    std::optional<bool> _lastActive;
    std::mutex _stopMutex;
    std::condition_variable _stop;
    bool _stopping = false;
    std::thread _thread; // last: starts once the members above exist
};
