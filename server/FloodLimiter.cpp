#include "FloodLimiter.h"

#include <algorithm>

FloodLimiter::FloodLimiter(double burst, double perSecond, size_t maxTracked)
    : _burst(burst)
    , _perSecond(perSecond)
    , _maxTracked(maxTracked)
{
}

double FloodLimiter::_refilled(const Bucket &bucket, Clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - bucket.updated).count();
    return std::min(_burst, bucket.tokens + std::max(0.0, seconds) * _perSecond);
}

// A full bucket is what an unknown address starts with, so forgetting it changes nothing.
void FloodLimiter::_forgetIdle(Clock::time_point now)
{
    std::erase_if(_buckets, [&](const auto &entry) { return _refilled(entry.second, now) >= _burst; });
}

bool FloodLimiter::allow(const std::string &address, Clock::time_point now)
{
    std::lock_guard lock(_mutex);
    auto found = _buckets.find(address);
    if (found == _buckets.end()) {
        if (_buckets.size() >= _maxTracked) {
            _forgetIdle(now);
            if (_buckets.size() >= _maxTracked)
                return false;
        }
        found = _buckets.emplace(address, Bucket{_burst, now}).first;
    }
    Bucket &bucket = found->second;
    bucket.tokens = _refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}
