#include "CWHealthForecast.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kDaysPerYear = 365.25;

struct Point {
    double x;
    double y;
};

struct Line {
    double slope;
    double intercept; // y at x = 0
};

double median(std::vector<double> values)
{
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2)
        return upper;
    return (*std::max_element(values.begin(), values.begin() + middle) + upper) / 2;
}

// The line with that slope through the median of the points' offsets.
Line lineWithSlope(const std::vector<Point> &points, double slope)
{
    std::vector<double> offsets;
    for (const Point &point : points)
        offsets.push_back(point.y - slope * point.x);
    return {slope, median(offsets)};
}

struct TheilSen {
    Line line;
    Line steepest; // lower end of the slope's 95 % interval
    Line flattest; // upper end
};

std::optional<TheilSen> theilSen(const std::vector<Point> &points)
{
    std::vector<double> slopes;
    for (size_t i = 0; i < points.size(); ++i) {
        for (size_t j = i + 1; j < points.size(); ++j) {
            if (points[j].x != points[i].x)
                slopes.push_back((points[j].y - points[i].y) / (points[j].x - points[i].x));
        }
    }
    if (slopes.empty())
        return std::nullopt;
    const double n = double(points.size());
    const double pairs = double(slopes.size());
    // Sen's interval: the ranks 1.96 standard deviations of Kendall's S either side of the middle.
    const double spread = 1.96 * std::sqrt(n * (n - 1) * (2 * n + 5) / 18);
    const auto rank = [pairs](double value) { return size_t(std::clamp(value, 0.0, pairs - 1)); };
    std::sort(slopes.begin(), slopes.end());
    return TheilSen{lineWithSlope(points, median(slopes)),
                    lineWithSlope(points, slopes[rank(std::floor((pairs - spread) / 2))]),
                    lineWithSlope(points, slopes[rank(std::ceil((pairs + spread) / 2))])};
}

// Where the line reaches target (x in days after the last day); nullopt beyond the horizon.
std::optional<qint64> crossing(const Line &line, double target, qint64 lastTime)
{
    if (line.slope >= 0)
        return std::nullopt;
    const double days = (target - line.intercept) / line.slope;
    if (days > CWHealthForecast::kHorizonYears * kDaysPerYear)
        return std::nullopt;
    return lastTime + qint64(std::llround(days * kSecondsPerDay));
}

} // namespace

CWHealthForecast CWHealthForecast::fit(const std::vector<Day> &days, double designCapacity)
{
    CWHealthForecast forecast;
    if (days.empty())
        return forecast;
    const qint64 lastTime = days.back().time;
    std::vector<Point> byTime;
    std::vector<Point> byCycles;
    for (const Day &day : days) {
        const double x = double(day.time - lastTime) / kSecondsPerDay;
        if (x < -kWindowDays)
            continue;
        byTime.push_back({x, day.fullCapacity});
        if (day.cycleCount)
            byCycles.push_back({*day.cycleCount, day.fullCapacity});
    }
    forecast._daysFitted = int(byTime.size());
    const std::optional<TheilSen> fit = theilSen(byTime);
    const double span = -byTime.front().x; // days
    const double reference = designCapacity > 0 ? designCapacity : byTime.back().y;
    if (!fit || span < kMinimumDays || -fit->line.slope * span < kMinimumLoss * reference)
        return forecast;

    forecast._enoughHistory = true;
    forecast._lossPerYear = -fit->line.slope * kDaysPerYear;
    if (designCapacity > 0) {
        const auto crossingAt = [&](double share) {
            const double target = share * designCapacity;
            return Crossing{crossing(fit->line, target, lastTime), crossing(fit->steepest, target, lastTime),
                            crossing(fit->flattest, target, lastTime)};
        };
        forecast._at80 = crossingAt(0.8);
        forecast._at60 = crossingAt(0.6);
    }
    if (const std::optional<TheilSen> perCycle = theilSen(byCycles))
        forecast._lossPer100Cycles = -perCycle->line.slope * 100;
    return forecast;
}
