#include "CWEventLogVC.h"

#include "ui_CWEventLogVC.h"

#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "DefaultsBinding.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

namespace {

const QString kShowBattDataKey = QStringLiteral("CWEventLogShowBattData");

} // namespace

CWEventLogVC::CWEventLogVC(const QString &nibName, const CWBatteryMonitor &monitor, CWLog *log, QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
    , _eventsToShowAC(new CWEventRowsModel(log, this))
    , _rowsShown(new CWEventRowsWindow(_eventsToShowAC, this))
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
    _ui->eventsTable->setModel(_rowsShown);
    _ui->eventsTable->viewport()->installEventFilter(this);
    _ui->eventsTable->installEventFilter(this);
    connect(_ui->eventsScrollBar, &QScrollBar::valueChanged, _rowsShown, &CWEventRowsWindow::setFirstRow);
    connect(_rowsShown, &CWEventRowsWindow::scrolled, this, &CWEventLogVC::_syncScrollBar);
    DefaultsBinding::bindChecked(_ui->showBattData, kShowBattDataKey);
    _sizeColumns();
    _updateEventsToShow();
}

void CWEventLogVC::_syncScrollBar()
{
    QScrollBar *bar = _ui->eventsScrollBar;
    bar->setRange(0, _rowsShown->lastFirstRow());
    bar->setPageStep(std::max(1, _rowsShown->rowsShown() - 1));
    bar->setValue(_rowsShown->firstRow());
}

bool CWEventLogVC::eventFilter(QObject *watched, QEvent *event)
{
    QTableView *table = _ui ? _ui->eventsTable : nullptr;
    if (!table)
        return false;
    if (watched == table->viewport() && event->type() == QEvent::Resize) {
        const int rowHeight = std::max(1, table->verticalHeader()->defaultSectionSize());
        _rowsShown->setRowsShown(table->viewport()->height() / rowHeight + 1);
    } else if (watched == table->viewport() && event->type() == QEvent::Wheel) {
        QCoreApplication::sendEvent(_ui->eventsScrollBar, event);
        return true;
    } else if (watched == table && event->type() == QEvent::KeyPress) {
        return _tableKeyPressed(static_cast<QKeyEvent *>(event));
    }
    return false;
}

// Paging keys, and arrows at the table's edges, scroll the log; other keys are the table's.
bool CWEventLogVC::_tableKeyPressed(QKeyEvent *event)
{
    const int current = _ui->eventsTable->currentIndex().row();
    const bool scrolls = event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown
                         || event->key() == Qt::Key_Home || event->key() == Qt::Key_End
                         || (event->key() == Qt::Key_Up && current <= 0)
                         || (event->key() == Qt::Key_Down && current >= _rowsShown->rowCount() - 2);
    if (scrolls)
        QCoreApplication::sendEvent(_ui->eventsScrollBar, event);
    return scrolls;
}

void CWEventLogVC::activate()
{
    _showBattDataObservation = UserDefaults::standard().addObserver(QStringLiteral("values.") + kShowBattDataKey,
                                                                    [this] { _updateEventsToShow(); });
    _battUpdatedObservation =
        NotificationCenter::defaultCenter().addObserver(kCWBatteryUpdatedNotification, &_monitor,
                                                        [this](const Notification &) { _battUpdated(); });
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
