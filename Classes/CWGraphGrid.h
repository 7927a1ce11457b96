#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

// One grid line: its place along its axis as a fraction (0 at the start, left or bottom; 1 at the
// end) and, on some lines, a text.
struct CWGridLine {
    double fract = 0.0;
    QString label; // null on lines without one

    bool operator==(const CWGridLine &) const = default;
};

// Which lines and labels the graph shows: the time scale for a range and a width, the time lines of
// a range on the local calendar, and the value scales of the legends. Settings and the time zone
// come in as arguments, so the same inputs always give the same grid.
class CWGraphGrid {
public:
    enum TimeScale : qint32 { Years = 0, Months, Weeks, Days, HoursOverDays, Hours, Minutes };

    struct Settings {
        double nominalVoltage = 0.0; // V; 0 or less means 11.1
        double voltsSpread = 0.0;    // V shown from bottom to top; 0 or less means 6
        qint64 temperatureUnit = 1;  // 1 Celsius, 2 Fahrenheit, 3 Kelvin
        double maxAH = 0.0;          // Ah at the top of the capacity scales; 0 or less means 8
    };

    struct ValueScales {
        double voltsMin = 0.0; // V at the bottom of the plotting area
        double voltsMax = 0.0; // V at its top
        double maxAh = 0.0;    // Ah at the top of the capacity scales
        // In legend order: voltage, temperature, maximum capacity, charge level, and none for power.
        QList<QList<CWGridLine>> lines;
    };

    struct TimeLines {
        QList<CWGridLine> major;
        QList<CWGridLine> minor;
    };

    // The granularity for span seconds shown across viewWidth points: the coarser, the more seconds
    // 900 points stand for.
    static TimeScale timeScaleFor(double spanSeconds, double viewWidth);
    static ValueScales valueScales(const Settings &settings);
    // The lines of scale between start and end, on whole minutes, hours, local midnights and firsts
    // of the month in zone. An empty or reversed range has none.
    static TimeLines timeLines(const QDateTime &start, const QDateTime &end, TimeScale scale, const QTimeZone &zone);
};
