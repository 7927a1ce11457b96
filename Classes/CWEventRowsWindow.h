#pragma once

#include "CWEventRowsModel.h"

#include <QAbstractTableModel>

// The rows of the event log that fit in its table. Qt's table header keeps a record per row of the
// table's model and walks all of them on every change (80 MB and a noticeable stall per update for
// ten million rows), so the table is given a screenful, and a scroll bar of the page's own stands
// for the whole log.
class CWEventRowsWindow : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CWEventRowsWindow(const CWEventRowsModel *rows, QObject *parent = nullptr);

    // Row of the whole log shown at the top.
    int firstRow() const { return _first; }
    // The highest first row: the one that leaves the last row of the log at the bottom.
    int lastFirstRow() const;
    // Kept within the rows there are.
    void setFirstRow(int first);
    // The rows the table can show, including one shown in part.
    void setRowsShown(int rows);
    int rowsShown() const { return _shown; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The first row or the number of rows changed.
    void scrolled();

private:
    void _show(int first);
    void _rowsInserted(const QModelIndex &parent, int first, int last);

    const CWEventRowsModel *const _rows;
    int _first = 0;
    int _shown = 1;
};
