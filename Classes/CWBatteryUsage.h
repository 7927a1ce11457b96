#pragma once

#include <QDate>
#include <optional>
#include <vector>

// How the battery was used before a moment (the report's end): time on battery and on the adapter
// and the energy drawn from the battery per day of the last 14, the sessions on battery of the
// last 3 days, and the averages over the last 7 and 30 days.
//
// It is fed the log's samples and events merged by time, each table in its own order, so a clock
// that jumps back shows as one step backwards, which counts as nothing. Between two points the
// power source of the earlier one holds. Nothing counts while logging was stopped, nor a quiet
// stretch on battery longer than kQuietSecondsOnBattery: a gauge on battery changes within
// minutes, so that is a machine asleep. Energy is the charge lost between two samples on battery
// times their mean voltage; a rise (a recalibration) adds nothing.
class CWBatteryUsage {
public:
    static constexpr int kDays = 14;
    static constexpr qint64 kSessionSeconds = 3 * 86400;
    static constexpr qint64 kAverageDays[] = {7, 30};
    static constexpr qint64 kQuietSecondsOnBattery = 1800;

    enum class Power { Unknown, Battery, Adapter };
    struct Point {
        qint64 time = 0; // Unix seconds
        Power power = Power::Unknown;
        // Samples only: CurrentCapacity in mAh, Voltage in mV.
        std::optional<qint64> charge;
        std::optional<qint64> voltage;
    };
    struct Amounts {
        double batterySeconds = 0;
        double adapterSeconds = 0;
        double milliAmpHours = 0; // drawn from the battery
        double wattHours = 0;     // drawn from the battery
    };
    struct Day {
        QDate date; // local
        Amounts amounts;
    };
    struct Session {
        qint64 start = 0; // Unix seconds
        Amounts amounts;
    };

    // end: Unix seconds; the days are those of the local time zone.
    explicit CWBatteryUsage(qint64 end);

    // Unix seconds from which points matter; the last point before it gives the state at its start.
    qint64 firstTimeNeeded() const { return _end - kAverageDays[1] * 86400; }
    // Points in merged order; the last one no later than the end.
    void add(const Point &point);

    const std::vector<Day> &days() const { return _days; }
    const std::vector<Session> &sessions() const { return _sessions; }
    // Over the last kAverageDays[i] days.
    const Amounts &average(int i) const { return _averages[i]; }

private:
    struct Range {
        qint64 from;
        qint64 to;
    };
    // Counts the time from previous to point for the power source of previous.
    void _addTime(const Point &previous, const Point &point);
    // Shares the amounts of [from, to) out to the days, the averages and the open session.
    void _spread(qint64 from, qint64 to, const Amounts &amounts);
    void _closeSession() { _sessionOpen = false; }

    const qint64 _end;
    std::vector<Day> _days;
    std::vector<Range> _dayRanges;
    std::vector<Session> _sessions;
    Amounts _averages[2];
    std::optional<Point> _previous;
    std::optional<Point> _lastSampleOnBattery; // since the battery took over, without a break
    bool _sessionOpen = false;
};
