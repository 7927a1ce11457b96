#pragma once

#include <QtGlobal>
#include <optional>
#include <vector>

// When the battery's full-charge capacity will fall to 80 % and 60 % of its design capacity.
//
// The fit is a Theil–Sen line: the median of the slopes between every pair of days, over each
// day's highest full-charge capacity in the last 180 days. The day's highest reading leaves out the
// dips a gauge shows in the middle of a cycle; the median slope is moved little by up to about a
// quarter of wild days, so a recalibration jump or a bad reading hardly tilts it, where a
// least-squares line would follow them. The range is the 95 % confidence interval of that slope by
// Sen's rank method, which needs no assumption about how the readings scatter.
class CWHealthForecast {
public:
    static constexpr double kWindowDays = 180;
    static constexpr double kMinimumDays = 30;
    // Less fitted loss than this share of design capacity over the days fitted is gauge noise.
    static constexpr double kMinimumLoss = 0.005;
    // Projections further out than this are no forecast at all.
    static constexpr double kHorizonYears = 30;

    struct Day {
        qint64 time = 0;         // Unix seconds
        double fullCapacity = 0; // mAh, the day's highest
        std::optional<double> cycleCount;
    };
    // Unix seconds; nullopt: not within the horizon.
    struct Crossing {
        std::optional<qint64> expected;
        std::optional<qint64> earliest;
        std::optional<qint64> latest;
    };

    // days in time order; designCapacity in mAh, 0 when unknown.
    static CWHealthForecast fit(const std::vector<Day> &days, double designCapacity);

    bool enoughHistory() const { return _enoughHistory; }
    int daysFitted() const { return _daysFitted; }
    double lossPerYear() const { return _lossPerYear; } // mAh
    // Nothing without a design capacity.
    std::optional<Crossing> at80() const { return _at80; }
    std::optional<Crossing> at60() const { return _at60; }
    std::optional<double> lossPer100Cycles() const { return _lossPer100Cycles; } // mAh

private:
    bool _enoughHistory = false;
    int _daysFitted = 0;
    double _lossPerYear = 0;
    std::optional<Crossing> _at80;
    std::optional<Crossing> _at60;
    std::optional<double> _lossPer100Cycles;
};
