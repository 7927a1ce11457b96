#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <limits>
#include <optional>

class CWLog;
class QIODevice;

// Writes the battery history as CSV (RFC 4180: CRLF line ends, fields with a comma, quote or line
// break quoted) in steps of a few thousand rows, so a log of any length is exported in constant
// memory and a window can show progress and stay responsive between steps. Times are written
// twice: ISO 8601 local time with its UTC offset, and Unix seconds.
class CWHistoryExport {
public:
    enum class Table { Samples, Events };
    enum class Step { More, Done, Failed };

    // Rows read from the log per step: well under 100 ms of work.
    static constexpr int kRowsPerStep = 2000;

    // Invalid dates leave the range open on that side; both days are included whole (local time).
    CWHistoryExport(CWLog &log, QIODevice &output, Table table, QDate from = {}, QDate to = {});

    // Writes the header first, then the next rows. Failed: error() says why.
    Step writeStep();
    qint64 rowsWritten() const { return _rowsWritten; }
    // How far the export has come through its time range, 0...1.
    double progress() const;
    QString error() const { return _error; }

    // One CSV field: NULL (a null string) stays empty, an empty text is "".
    static QByteArray csvField(const QString &text);

private:
    // The local time with its UTC offset, e.g. "2024-03-01T09:30:00+01:00", then the Unix time.
    QByteArray _timeFields(const QString &unixSeconds);
    Step _writeHeader();
    Step _writeSamples();
    Step _writeEvents();
    bool _write(const QByteArray &text);

    CWLog &_log;
    QIODevice &_output;
    const Table _table;
    const qint64 _fromTime; // Unix seconds, first included
    const qint64 _toTime;   // Unix seconds, last included
    bool _headerWritten = false;
    std::optional<quint64> _lastIndex; // testidx of the last sample read
    qint64 _startTime = 0;             // Unix seconds where the progress starts
    qint64 _lastTime = 0;              // Unix seconds of the last row read
    qint64 _rowsWritten = 0;
    // Offsets from UTC change only at quarter hours: one time-zone lookup per quarter hour of rows.
    qint64 _offsetQuarter = std::numeric_limits<qint64>::min(); // Unix seconds / 900
    int _offset = 0;                                            // seconds east of UTC
    QString _error;
};
