#include "CWEventLogVC.h"

#include "ui_CWEventLogVC.h"

#include "BatteryKeys.h"
#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "DefaultsBinding.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"

#include <QHeaderView>

namespace {

const QString kShowBattDataKey = QStringLiteral("CWEventLogShowBattData");
const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");

// A long history is read in steps of about this many samples, one step per turn of the event loop,
// so that the table stays responsive while it fills.
constexpr qsizetype kReadingsPerStep = 10000;

// Logged values are integers, read the fast way; anything else (a real, a garbled text, NULL) goes
// through the general conversion and reads as 0 when it is no number at all.
double number(const QString &text)
{
    bool isInteger = false;
    const qint64 integer = text.toLongLong(&isInteger);
    return isInteger ? double(integer) : text.toDouble();
}

qint64 wholeNumber(const QString &text)
{
    return qint64(number(text));
}

} // namespace

CWEventLogVC::CWEventLogVC(const QString &nibName, const CWBatteryMonitor &monitor, CWLog *log, QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
    , _log(log)
    , _eventsToShowAC(new CWEventRowsModel(this))
{
    _nextStep.setSingleShot(true);
    connect(&_nextStep, &QTimer::timeout, this, &CWEventLogVC::_updateEventsToShow);
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
    std::vector<CWEventRow> readings;
    if (UserDefaults::standard().boolForKey(kShowBattDataKey)) {
        readings = _newReadings();
    } else {
        _moreReadingsWaiting = false;
        if (_highestBattIDRecorded != 0)
            _removeBattEntries();
    }
    _readNewEvents();
    _eventsToShowAC->addRows(_mergedByTime(readings));
    if (_moreReadingsWaiting)
        _nextStep.start(0);
}

// Appends readings and events oldest first; a reading goes before an event of the same second.
// While more readings wait in the log, events after the last reading read so far wait with them.
std::vector<CWEventRow> CWEventLogVC::_mergedByTime(const std::vector<CWEventRow> &readings)
{
    std::vector<CWEventRow> merged;
    merged.reserve(readings.size() + _waitingEvents.size());
    auto event = _waitingEvents.begin();
    for (const CWEventRow &reading : readings) {
        for (; event != _waitingEvents.end() && event->time < reading.time; ++event)
            merged.push_back(*event);
        merged.push_back(reading);
    }
    const auto lastEvent = _moreReadingsWaiting ? event : _waitingEvents.end();
    merged.insert(merged.end(), event, lastEvent);
    _waitingEvents.erase(_waitingEvents.begin(), lastEvent);
    return merged;
}

std::vector<CWEventRow> CWEventLogVC::_newReadings()
{
    static const QStringList columns = {QStringLiteral("testidx"),         QStringLiteral("time"),
                                        BatteryKey::InstantAmperage, BatteryKey::Voltage,
                                        BatteryKey::CurrentCapacity, BatteryKey::Temperature};
    const CWLogResult result = _log ? _log->battLogEntriesAboveIndex(_highestBattIDRecorded, columns, int(kReadingsPerStep))
                                   : std::nullopt;
    _moreReadingsWaiting = false;
    if (!result)
        return {};
    const QStringList indexes = result->value(QStringLiteral("testidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    const QStringList amperages = result->value(BatteryKey::InstantAmperage);
    const QStringList voltages = result->value(BatteryKey::Voltage);
    const QStringList capacities = result->value(BatteryKey::CurrentCapacity);
    const QStringList temperatures = result->value(BatteryKey::Temperature);
    if (indexes.isEmpty())
        return {};
    _highestBattIDRecorded = indexes.last().toULongLong();
    // A full step may have left samples behind.
    _moreReadingsWaiting = indexes.size() >= kReadingsPerStep;

    const int unit = int(UserDefaults::standard().integerForKey(kTemperatureUnitKey));
    std::vector<CWEventRow> rows;
    rows.reserve(indexes.size());
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        // A sample without a temperature (a failed battery read) is no reading worth a row.
        if (temperatures.value(i).isNull())
            continue;
        rows.push_back(CWEventRow::reading(wholeNumber(indexes[i]), wholeNumber(times.value(i)),
                                           number(capacities.value(i)), number(voltages.value(i)),
                                           number(amperages.value(i)), number(temperatures.value(i)), unit));
    }
    return rows;
}

void CWEventLogVC::_readNewEvents()
{
    const CWLogResult result = _log ? _log->eventLogEntriesAboveIndex(_highestEventIDRecorded) : std::nullopt;
    if (!result)
        return;
    const QStringList indexes = result->value(QStringLiteral("eventidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    const QStringList types = result->value(QStringLiteral("eventtype"));
    const QStringList data = result->value(QStringLiteral("data"));
    if (indexes.isEmpty())
        return;
    _highestEventIDRecorded = indexes.last().toULongLong();

    for (qsizetype i = 0; i < indexes.size(); ++i)
        _waitingEvents.push_back(_eventsToShowAC->eventRow(wholeNumber(indexes[i]), wholeNumber(times.value(i)),
                                                           CWEventType(wholeNumber(types.value(i))), data.value(i)));
}

void CWEventLogVC::_removeBattEntries()
{
    _eventsToShowAC->removeReadings();
    _highestBattIDRecorded = 0;
}
