#include "CWEventRowsWindow.h"

#include <algorithm>

CWEventRowsWindow::CWEventRowsWindow(const CWEventRowsModel *rows, QObject *parent)
    : QAbstractTableModel(parent)
    , _rows(rows)
{
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { _show(_first); });
    connect(rows, &QAbstractItemModel::rowsInserted, this, &CWEventRowsWindow::_rowsInserted);
}

int CWEventRowsWindow::lastFirstRow() const
{
    return std::max(0, _rows->rowCount() - std::max(1, _shown - 1));
}

void CWEventRowsWindow::setFirstRow(int first)
{
    if (std::clamp(first, 0, lastFirstRow()) != _first)
        _show(first);
}

void CWEventRowsWindow::setRowsShown(int rows)
{
    if (rows == _shown)
        return;
    _shown = std::max(1, rows);
    _show(_first);
}

// Rows logged later go on top: a table scrolled down keeps showing the same rows.
void CWEventRowsWindow::_rowsInserted(const QModelIndex &, int first, int last)
{
    _show(first == 0 && _first > 0 ? _first + last - first + 1 : _first);
}

void CWEventRowsWindow::_show(int first)
{
    beginResetModel();
    _first = std::clamp(first, 0, lastFirstRow());
    endResetModel();
    Q_EMIT scrolled();
}

int CWEventRowsWindow::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::clamp(_rows->rowCount() - _first, 0, _shown);
}

int CWEventRowsWindow::columnCount(const QModelIndex &parent) const
{
    return _rows->columnCount(parent);
}

QVariant CWEventRowsWindow::data(const QModelIndex &index, int role) const
{
    return index.isValid() ? _rows->data(_rows->index(_first + index.row(), index.column()), role) : QVariant();
}

QVariant CWEventRowsWindow::headerData(int section, Qt::Orientation orientation, int role) const
{
    return _rows->headerData(section, orientation, role);
}
