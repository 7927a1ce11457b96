#pragma once

#include "CWEventRowsModel.h"
#include "CWHolderVC.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

#include <memory>
#include <vector>

class QTableView;
namespace Ui {
class CWEventLogVC;
}

// The "Event Log" page: logged events and, unless turned off, every battery reading, newest first.
// It remembers the highest sample and event indexes it has shown and asks the log only for rows
// above them.
class CWEventLogVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWEventLogVC(const QString &nibName, QObject *parent = nullptr);
    ~CWEventLogVC() override;

    CWEventRowsModel *eventsToShowAC() const { return _eventsToShowAC; }
    QTableView *eventsTable() const;
    quint64 highestBattIDRecorded() const { return _highestBattIDRecorded; }
    quint64 highestEventIDRecorded() const { return _highestEventIDRecorded; }

    void activate() override;
    void deactivate() override;

protected:
    void setupView(QWidget *view) override;
    void awakeFromNib() override;

private:
    void _battUpdated();
    void _updateEventsToShow();
    void _removeBattEntries();
    std::vector<CWEventRow> _newReadings();
    std::vector<CWEventRow> _newEvents();
    void _sizeColumns();

    std::unique_ptr<Ui::CWEventLogVC> _ui;
    CWEventRowsModel *_eventsToShowAC = nullptr; // owned through QObject parenthood
    quint64 _highestBattIDRecorded = 0;
    quint64 _highestEventIDRecorded = 0;
    UserDefaults::Token _showBattDataObservation = 0;
    NotificationCenter::Token _battUpdatedObservation = 0;
};
