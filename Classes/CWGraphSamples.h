#pragma once

#include "CWGraphSpec.h"
#include "CWLog.h"

#include <QDateTime>
#include <QStringList>

#include <array>
#include <deque>
#include <optional>
#include <vector>

// The log rows the "Graph" page shows and the series built from them. The rows are kept between
// refreshes, so that a range ending now reads only what was logged since and drops what fell out
// at its start, and ends up with exactly the rows a fresh read of the window returns. It reads
// through the log it is handed and holds no other resources.
class CWGraphSamples {
public:
    // The series in the order the page adds them to its view.
    enum Series { MaxCapacity = 0, Volts, Temperature, ChargeLevel, Power, SeriesCount };

    struct Scale {
        double t0 = 0.0;       // s since 1970 at the left edge
        double t1 = 0.0;       // s since 1970 at the right edge
        double maxAh = 0.0;    // Ah at the top of the capacity scales
        double voltsMin = 0.0; // V at the bottom of the voltage scale
        double voltsMax = 0.0; // V at its top
    };

    // The series' colours, in the colour space the page draws in.
    struct Colors {
        QColor maxCapacity;
        QColor volts;
        QColor temperature;
        QColor chargeLevel;
    };

    // Vertices of each series, in Series order.
    using SeriesVertices = std::array<std::vector<CWGraphVertex>, SeriesCount>;

    // A series and the graph it goes to.
    struct PlacedSpec {
        CWGraphSpec spec;
        qint64 list; // 0 top, 1 bottom
    };

    // What the page reads: the plotted columns, then the index and class that let it follow the log.
    static const QStringList &columns();
    // The classified samples a range of spanSeconds reads: hour anchors always, five-minute anchors
    // up to 30 days, all others up to 2 days.
    static CWSignificances significanceMask(double spanSeconds);

    static double capacityY(double milliAmpHours, double maxAh);
    static double voltageY(double milliVolts, double voltsMin, double voltsMax);
    static double temperatureY(double deciKelvin);
    // Square-root scale from -50 W (0) over 0 W (0.5) to +50 W (1).
    static double powerY(double watts);

    // Rows of a window read afresh per call, when the window wants every sample: some tens of
    // milliseconds of work.
    static constexpr qint64 kSliceRows = 40'000;

    // Reads the rows of the window from start to end with the significance mask through log. With
    // follow, rows kept from the last read of a window that started no later, with the same mask,
    // are reused: only rows logged since are read and those that left the window dropped, which
    // gives the rows a fresh read returns. Otherwise, or when following fails, the window is read
    // afresh: a long one in slices, one per call. False while such a read is unfinished; the rows
    // kept stay those of the last finished read until it is.
    bool read(CWLog &log, const QDateTime &start, const QDateTime &end, CWSignificances mask, bool follow);
    // Forgets the rows: the next read is a fresh one.
    void clear();

    size_t size() const { return _samples.size(); }
    // The series' vertices in Series order. A NULL or unreadable value leaves out only that row's
    // point of the series that needs it; an empty or reversed range has no points. They are built
    // into the memory of reuse where it holds enough and not far more: a long window's series are
    // megabytes, which fresh memory would have the system map in anew at every refresh.
    SeriesVertices series(const Scale &scale, std::vector<std::vector<CWGraphVertex>> reuse = {}) const;
    // The five series as the page shows them, in Series order: maximum capacity as an area with its
    // own drawing, voltage, temperature and charge level as lines on top, and the power at the
    // bottom with its own drawing, in charge-level colour. Built into the memory of reuse.
    std::array<PlacedSpec, SeriesCount> graphSpecs(const Scale &scale, const Colors &colors,
                                                   std::vector<std::vector<CWGraphVertex>> reuse = {}) const;

private:
    struct Sample {
        qint64 index;
        qint64 time;            // s since 1970
        double voltage;         // mV; NaN when missing, as are the others
        double temperature;     // 0.1 K
        double currentCapacity; // mAh
        double maxCapacity;     // mAh
        double watts;           // W, positive when charging
    };

    // An unfinished read of a window afresh: the window's bounds as its first slice found them.
    struct Pending {
        CWSignificances mask;
        qint64 startSecs = 0;
        CWLog::IndexRange window;
        qint64 next = 0; // the testidx the next slice starts at
        std::deque<Sample> samples;
        qint64 lastIndex = 0;
    };

    bool _follow(CWLog &log, qint64 startSecs);
    void _append(const CWLogResult &rows, bool filter);
    bool _followStart(qint64 startSecs, const CWLogResult &scan);

    std::deque<Sample> _samples;
    std::optional<Pending> _pending;
    bool _following = false;
    CWSignificances _mask;
    qint64 _lowerIndexBound = 0;
    qint64 _startSecs = 0;
    qint64 _lastReadIndex = 0;
};
