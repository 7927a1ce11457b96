#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

// A token bucket per client address: an address may make `burst` requests at once, then `perSecond`
// more each second. Safe to call from several threads.
class FloodLimiter {
public:
    using Clock = std::chrono::steady_clock;

    // At most maxTracked addresses are remembered; when that many are busy, new ones are refused.
    FloodLimiter(double burst, double perSecond, size_t maxTracked = 65536);

    bool allow(const std::string &address, Clock::time_point now = Clock::now());

private:
    struct Bucket {
        double tokens;
        Clock::time_point updated;
    };

    double _refilled(const Bucket &bucket, Clock::time_point now) const;
    void _forgetIdle(Clock::time_point now);

    const double _burst;
    const double _perSecond;
    const size_t _maxTracked;
    std::mutex _mutex;
    std::unordered_map<std::string, Bucket> _buckets;
};
