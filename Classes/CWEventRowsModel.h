#pragma once

#include "CWLog.h"

#include <QAbstractTableModel>
#include <QHash>
#include <vector>

// One row of the event log as shown.
struct CWEventRow {
    enum Type : quint8 { Reading = 'b', Event = 'e' };

    qint64 index = 0; // testidx of a reading, eventidx of an event
    qint64 time = 0;  // seconds since 1970
    // The reading as logged; events leave these at 0. A reading without a temperature has NaN.
    double capacity = 0.0;    // mAh
    double voltage = 0.0;     // mV
    double amperage = 0.0;    // mA
    double temperature = 0.0; // tenths of a kelvin
    CWEventType eventCode{};  // events only
    Type type = Event;
};

// The rows of the event log page, newest first: the log's events and, when shown, its readings.
// Rows of one second come readings first, each kind in the order it was logged.
//
// Only the rows on screen (and a margin) are read from the log, so a history of millions of
// samples costs neither time nor memory: the position of a row is found from how many rows are
// later than a time, which the log answers from its summary of sample times. The events, a few
// per hour of logging, are kept in memory.
class CWEventRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, EventColumn, NotesColumn, ColumnCount };

    // Reads log, which may be null (nothing logged) and must outlive the model.
    explicit CWEventRowsModel(CWLog *log, QObject *parent = nullptr);

    // Takes in what was logged since the last update. Rows logged later than every row shown go
    // on top, keeping the view where it is; turning readings on or off reloads the rows.
    void update(bool showReadings);
    quint64 highestSampleIndex() const { return _highestSampleIndex; }
    quint64 highestEventIndex() const { return _highestEventIndex; }

    CWEventRow arrangedRow(int row) const;
    static QString timeText(const CWEventRow &row);
    static QString eventText(const CWEventRow &row);
    QString notes(const CWEventRow &row) const;
    static QString temperatureText(double tenthsOfKelvin, int unit);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Event {
        qint64 time;
        qint64 index;
        CWEventType code;
    };

    static bool _earlier(const Event &a, const Event &b); // by time, then eventidx
    std::vector<Event> _newEvents();
    // How many new readings there are, if all of them lie later than every row shown; nullopt
    // otherwise (or when too many came to tell cheaply).
    std::optional<qint64> _newReadingsOnTop(qint64 newestShown);
    // The latest time in the log (of the rows the page would show).
    std::optional<qint64> _newestTime() const;
    qint64 _rowsLaterThan(qint64 time) const;
    void _readRowsFrom(int first) const;
    std::vector<CWEventRow> _readings(qint64 earliest, qint64 latest) const;

    CWLog *const _log;
    bool _showReadings = false;
    qint64 _readingCount = 0;
    std::optional<qint64> _newestShown; // time of the top row (seconds since 1970)
    quint64 _highestSampleIndex = 0;
    quint64 _highestEventIndex = 0;
    std::vector<Event> _events;         // by time, then eventidx
    QHash<qint64, QString> _eventNotes; // by eventidx, only events with data
    // The rows last read: the rows on screen and a margin.
    mutable int _readFirst = 0;
    mutable std::vector<CWEventRow> _readRows;
};
