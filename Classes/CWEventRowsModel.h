#pragma once

#include "CWLog.h"

#include <QAbstractTableModel>
#include <QHash>
#include <deque>
#include <vector>

// One row of the event log, kept small: a long history has a million of them. Texts are made
// only when a row is drawn.
struct CWEventRow {
    enum Type : quint8 { Reading = 'b', Event = 'e' };

    qint64 index = 0; // testidx of a reading, eventidx of an event
    qint64 time = 0;  // seconds since 1970
    // The reading as logged; events leave these at 0.
    float capacity = 0.0f;    // mAh
    float voltage = 0.0f;     // mV
    float amperage = 0.0f;    // mA
    float temperature = 0.0f; // tenths of a kelvin
    CWEventType eventCode{};  // events only
    Type type = Event;
    quint8 temperatureUnit = 0; // CWDefaultTemperatureUnit when the reading was turned into a row

    static CWEventRow reading(qint64 testidx, qint64 time, double capacity, double voltage, double amperage,
                              double temperature, int temperatureUnit);
};

// The rows of the event log page, newest first. Rows of the same second keep the order in which
// they were added.
class CWEventRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, EventColumn, NotesColumn, ColumnCount };

    explicit CWEventRowsModel(QObject *parent = nullptr);

    // An event row; its data text is kept here, apart from the compact row.
    CWEventRow eventRow(qint64 eventidx, qint64 time, CWEventType eventCode, const QString &data);
    // Adds rows given oldest first and puts each in its place in the order.
    void addRows(std::vector<CWEventRow> rows);
    void removeReadings();

    const CWEventRow &arrangedRow(int row) const { return _rows[row]; }
    QString timeText(const CWEventRow &row) const;
    QString eventText(const CWEventRow &row) const;
    QString notes(const CWEventRow &row) const;
    static QString temperatureText(double tenthsOfKelvin, int unit);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::deque<CWEventRow> _rows;       // arranged: newest first
    QHash<qint64, QString> _eventNotes; // by eventidx, only events with data
};
