#pragma once

#include "CWBatteryUsage.h"
#include "CWHealthForecast.h"

#include <QDate>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <vector>

// What the battery report shows, read from the log on a read-only connection of its own, so that
// it runs beside a Cellwise that is logging. Every read is bounded by the report's windows, not by
// the log's length: the capacity history comes from the hour anchors (one sample an hour), the
// usage from the samples of the last 30 days found through the time index, the state changes
// from the event log.
class CWBatteryReportData {
public:
    struct CapacityDay {
        QDate date;                           // local
        qint64 time = 0;                      // Unix seconds of the day's last reading
        std::optional<qint64> fullCapacity;   // mAh, the day's highest
        std::optional<qint64> designCapacity; // mAh
        std::optional<qint64> cycleCount;     // the day's highest
    };

    // The log at logPath; the capacity history covers the last `days` days (0: the whole log).
    // Nullopt with a one-line reason in `error` when the log cannot be read or holds no sample.
    static std::optional<CWBatteryReportData> read(const QString &logPath, int days, QString *error);

    // The last sample, keyed by column name: qint64, QString, or null for NULL.
    const QVariantMap &latest() const { return _latest; }
    qint64 firstTime() const { return _firstTime; } // Unix seconds
    qint64 lastTime() const { return _lastTime; }   // Unix seconds; the report's "now"
    const std::vector<CapacityDay> &history() const { return _history; }
    const CWHealthForecast &forecast() const { return _forecast; }
    const CWBatteryUsage &usage() const { return _usage; }

private:
    explicit CWBatteryReportData(qint64 lastTime)
        : _lastTime(lastTime)
        , _usage(lastTime)
    {
    }

    QVariantMap _latest;
    qint64 _firstTime = 0;
    qint64 _lastTime = 0;
    std::vector<CapacityDay> _history;
    CWHealthForecast _forecast;
    CWBatteryUsage _usage;
};
