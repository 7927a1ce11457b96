#include "CWEventLogVC.h"

#include "ui_CWEventLogVC.h"

#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "DefaultsBinding.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

#include <QHeaderView>

namespace {

const QString kShowBattDataKey = QStringLiteral("CWEventLogShowBattData");

} // namespace

CWEventLogVC::CWEventLogVC(const QString &nibName, const CWBatteryMonitor &monitor, CWLog *log, QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
    , _eventsToShowAC(new CWEventRowsModel(log, this))
{
}

CWEventLogVC::~CWEventLogVC() = default;

QTableView *CWEventLogVC::eventsTable() const
{
    return _ui->eventsTable;
}


// Fixed row heights and column widths from the font, so a table of a million rows never measures
// its contents.
void CWEventLogVC::_sizeColumns()
{
    QTableView *table = _ui->eventsTable;
    const QFontMetrics metrics = table->fontMetrics();
    const int padding = metrics.horizontalAdvance(QStringLiteral("MM"));
    QHeaderView *rows = table->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(metrics.height() + metrics.height() / 2);

    int eventWidth = metrics.horizontalAdvance(QStringLiteral("Batt reading"));
    for (int code = int(CWEventType::Started); code <= int(CWEventType::NotCharging); ++code)
        eventWidth = std::max(eventWidth, metrics.horizontalAdvance(CWLog::stringForEvent(CWEventType(code))));
    QHeaderView *columns = table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->resizeSection(CWEventRowsModel::TimeColumn,
                           metrics.horizontalAdvance(QStringLiteral("8888-88-88 88:88:88")) + padding);
    columns->resizeSection(CWEventRowsModel::EventColumn, eventWidth + padding);
}

void CWEventLogVC::awakeFromNib()
{
    _ui->eventsTable->setModel(_eventsToShowAC);
    DefaultsBinding::bindChecked(_ui->showBattData, kShowBattDataKey);
    _sizeColumns();
    _updateEventsToShow();
}

void CWEventLogVC::activate()
{
    _showBattDataObservation =
        UserDefaults::standard().addObserver(QStringLiteral("values.") + kShowBattDataKey, [this] { _updateEventsToShow(); });
    _battUpdatedObservation = NotificationCenter::defaultCenter().addObserver(
        kCWBatteryUpdatedNotification, &_monitor, [this](const Notification &) { _battUpdated(); });
}

void CWEventLogVC::deactivate()
{
    _showBattDataObservation.reset();
    _battUpdatedObservation.reset();
}

void CWEventLogVC::_battUpdated()
{
    _updateEventsToShow();
}

void CWEventLogVC::_updateEventsToShow()
{
    _eventsToShowAC->update(UserDefaults::standard().boolForKey(kShowBattDataKey));
}
