#include "DisplayReconfigurationWatcher.h"

#include "SwitchableGraphics.h"

#include <chrono>

namespace {

// Reading runtime_status does not wake the device; once a second catches every switch a person
// could notice.
constexpr std::chrono::seconds kPollInterval{1};

QString discreteDevice()
{
    const std::optional<SwitchableGraphics::Pair> pair = SwitchableGraphics::findPair();
    return pair ? pair->discrete : QString();
}

} // namespace

DisplayReconfigurationWatcher::DisplayReconfigurationWatcher(Callback callback)
    : _callback(std::move(callback))
    , _discrete(discreteDevice())
{
    if (!isWatching())
        return;
    checkNow(); // the first reading is the starting point, not a switch
    _thread = std::thread([this] { _watch(); });
}

DisplayReconfigurationWatcher::~DisplayReconfigurationWatcher()
{
    {
        const std::lock_guard lock(_stopMutex);
        _stopping = true;
    }
    _stop.notify_one();
    if (_thread.joinable())
        _thread.join();
}

void DisplayReconfigurationWatcher::checkNow()
{
    if (!isWatching())
        return;
    const std::lock_guard lock(_checkMutex);
    const std::optional<QByteArray> status =
        SwitchableGraphics::readAttribute(_discrete, QStringLiteral("power/runtime_status"));
    if (!status)
        return;
    const bool active = SwitchableGraphics::isRuntimeActive(*status);
    const bool switched = _lastActive && *_lastActive != active;
    _lastActive = active;
    if (switched)
        _callback(0, kModeSetFlag);
}

void DisplayReconfigurationWatcher::_watch()
{
    std::unique_lock lock(_stopMutex);
    while (!_stop.wait_for(lock, kPollInterval, [this] { return _stopping; })) {
        lock.unlock();
        checkNow();
        lock.lock();
    }
}
