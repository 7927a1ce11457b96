#pragma once

#include "CWEventRowsModel.h"
#include "CWEventRowsWindow.h"
#include "CWHolderVC.h"
#include "Subscription.h"

class CWBatteryMonitor;
class CWLog;
class QKeyEvent;
class QTableView;
namespace Ui {
class CWEventLogVC;
}

// The "Event Log" page: logged events and, unless turned off, every battery reading, newest first.
// It remembers the highest sample and event indexes it has shown and asks the log only for rows
// above them; the table reads only the rows on screen. It reads the log it is given (none when the
// log could not be opened) and follows the monitor's ticks while it is on screen.
class CWEventLogVC : public CWFormVC<Ui::CWEventLogVC> {
    Q_OBJECT
public:
    CWEventLogVC(const QString &nibName, const CWBatteryMonitor &monitor, CWLog *log, QObject *parent = nullptr);
    ~CWEventLogVC() override;

    CWEventRowsModel *eventsToShowAC() const { return _eventsToShowAC; }
    QTableView *eventsTable() const;
    quint64 highestBattIDRecorded() const { return _eventsToShowAC->highestSampleIndex(); }
    quint64 highestEventIDRecorded() const { return _eventsToShowAC->highestEventIndex(); }

    void activate() override;
    void deactivate() override;

protected:
    void awakeFromNib() override;
    // The table's wheel, keys and size drive the page's scroll bar.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void _battUpdated();
    void _updateEventsToShow();
    void _sizeColumns();
    void _syncScrollBar();
    bool _tableKeyPressed(QKeyEvent *event);

    const CWBatteryMonitor &_monitor;
    CWEventRowsModel *_eventsToShowAC = nullptr; // owned through QObject parenthood
    CWEventRowsWindow *_rowsShown = nullptr;     // likewise: what the table shows of it
    // Last, so that they end first: no observation outlives what it updates.
    Subscription _showBattDataObservation;
    Subscription _battUpdatedObservation;
};
