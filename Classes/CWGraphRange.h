#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

// A range of the "Graph" page written as text: "90m", "1h", "2d", "30d", "1y" (the last N minutes,
// hours, days or years up to now; a year is 365 days) or "FROM..TO" (two dates YYYY-MM-DD, from
// the start of FROM to the end of TO in the local time zone).
struct CWGraphRange {
    // The tags of the page's unit pop-up.
    enum Unit : qint32 { Minutes = 1, Hours = 2, Days = 3 };

    bool recent = true;
    qint32 count = 0;    // recent: how many units back the range starts
    Unit unit = Minutes; // recent
    QDateTime from;      // fixed
    QDateTime to;        // fixed

    // Seconds in one unit; any other tag counts 0.
    static double secondsPerUnit(qint64 tag);
    // Nullopt for text in neither form, a count of 0, an impossible date or TO before FROM.
    static std::optional<CWGraphRange> fromText(const QString &text, const QTimeZone &zone);
};
