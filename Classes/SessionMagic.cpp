#include "SessionMagic.h"

#include "MuxMagic.h"

#include <chrono>
#include <thread>

namespace {

constexpr int kIntegrated = 0;
constexpr int kDiscrete = 1;

int kindOf(bool usingIntegrated)
{
    return usingIntegrated ? kIntegrated : kDiscrete;
}

} // namespace

SessionMagic &SessionMagic::sharedInstance()
{
    // Initialisation of a local static is serialised: two threads cannot make two instances.
    static SessionMagic instance;
    return instance;
}

SessionMagic::SessionMagic()
    : _usingIntegrated(MuxMagic::isUsingIntegrated())
    , _displayWatcher(std::make_unique<DisplayReconfigurationWatcher>(
          [this](std::uint32_t display, std::uint32_t flags) { displayReconfigured(display, flags); }))
{
}

SessionMagicDelegate *SessionMagic::delegate() const
{
    const std::lock_guard lock(_delegateMutex);
    return _delegate;
}

void SessionMagic::setDelegate(SessionMagicDelegate *delegate)
{
    const std::lock_guard lock(_delegateMutex);
    _delegate = delegate;
}

void SessionMagic::gpuChangedFrom(int previousKind)
{
    const bool nowIntegrated = !usingIntegrated();
    setUsingIntegrated(nowIntegrated);
    const std::lock_guard lock(_delegateMutex);
    if (_delegate)
        _delegate->gpuChangedTo(kindOf(nowIntegrated), previousKind);
}

void SessionMagic::displayReconfigured(std::uint32_t, std::uint32_t flags)
{
    _queue.async([this, flags] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMilliseconds));
        if (flags & DisplayReconfigurationWatcher::kModeSetFlag)
            gpuChangedFrom(kindOf(usingIntegrated()));
    });
}
