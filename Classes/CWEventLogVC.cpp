#include "CWEventLogVC.h"

#include "ui_CWEventLogVC.h"

#include "CWBatteryMonitor.h"
#include "CWLog.h"
#include "DefaultsBinding.h"

#include <QHeaderView>

namespace {

const QString kShowBattDataKey = QStringLiteral("CWEventLogShowBattData");
const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");

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

// Appends readings and events oldest first; a reading goes before an event of the same second.
std::vector<CWEventRow> mergedByTime(const std::vector<CWEventRow> &readings, const std::vector<CWEventRow> &events)
{
    std::vector<CWEventRow> merged;
    merged.reserve(readings.size() + events.size());
    auto reading = readings.begin();
    auto event = events.begin();
    while (reading != readings.end() || event != events.end()) {
        const bool takeEvent = reading == readings.end() || (event != events.end() && event->time < reading->time);
        merged.push_back(takeEvent ? *event++ : *reading++);
    }
    return merged;
}

} // namespace

CWEventLogVC::CWEventLogVC(const QString &nibName, QObject *parent)
    : CWHolderVC(nibName, parent)
    , _ui(std::make_unique<Ui::CWEventLogVC>())
    , _eventsToShowAC(new CWEventRowsModel(this))
{
}

CWEventLogVC::~CWEventLogVC()
{
    deactivate();
}

QTableView *CWEventLogVC::eventsTable() const
{
    return _ui->eventsTable;
}

void CWEventLogVC::setupView(QWidget *view)
{
    _ui->setupUi(view);
    _ui->eventsTable->setModel(_eventsToShowAC);
    DefaultsBinding::bindChecked(_ui->showBattData, kShowBattDataKey);
    _sizeColumns();
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
    for (int code = 1; code <= 10; ++code)
        eventWidth = std::max(eventWidth, metrics.horizontalAdvance(CWLog::stringForEvent(code)));
    QHeaderView *columns = table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->resizeSection(CWEventRowsModel::TimeColumn,
                           metrics.horizontalAdvance(QStringLiteral("8888-88-88 88:88:88")) + padding);
    columns->resizeSection(CWEventRowsModel::EventColumn, eventWidth + padding);
}

void CWEventLogVC::awakeFromNib()
{
    _updateEventsToShow();
}

void CWEventLogVC::activate()
{
    deactivate();
    _showBattDataObservation =
        UserDefaults::standard().addObserver(QStringLiteral("values.") + kShowBattDataKey, [this] { _updateEventsToShow(); });
    _battUpdatedObservation = NotificationCenter::defaultCenter().addObserver(
        kCWBatteryUpdatedNotification, CWBatteryMonitor::sharedMonitor(), [this](const Notification &) { _battUpdated(); });
}

void CWEventLogVC::deactivate()
{
    if (_showBattDataObservation)
        UserDefaults::standard().removeObserver(_showBattDataObservation);
    if (_battUpdatedObservation)
        NotificationCenter::defaultCenter().removeObserver(_battUpdatedObservation);
    _showBattDataObservation = 0;
    _battUpdatedObservation = 0;
}

void CWEventLogVC::_battUpdated()
{
    _updateEventsToShow();
}

void CWEventLogVC::_updateEventsToShow()
{
    std::vector<CWEventRow> readings;
    if (UserDefaults::standard().boolForKey(kShowBattDataKey))
        readings = _newReadings();
    else if (_highestBattIDRecorded != 0)
        _removeBattEntries();
    _eventsToShowAC->addRows(mergedByTime(readings, _newEvents()));
}

std::vector<CWEventRow> CWEventLogVC::_newReadings()
{
    static const QStringList columns = {QStringLiteral("testidx"),         QStringLiteral("time"),
                                        QStringLiteral("InstantAmperage"), QStringLiteral("Voltage"),
                                        QStringLiteral("CurrentCapacity"), QStringLiteral("Temperature")};
    CWLog *log = CWLog::sharedLog();
    const CWLogResult result = log ? log->battLogEntriesAboveIndex(_highestBattIDRecorded, columns) : std::nullopt;
    if (!result)
        return {};
    const QStringList indexes = result->value(QStringLiteral("testidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    const QStringList amperages = result->value(QStringLiteral("InstantAmperage"));
    const QStringList voltages = result->value(QStringLiteral("Voltage"));
    const QStringList capacities = result->value(QStringLiteral("CurrentCapacity"));
    const QStringList temperatures = result->value(QStringLiteral("Temperature"));
    if (indexes.isEmpty())
        return {};
    _highestBattIDRecorded = indexes.last().toULongLong();

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

std::vector<CWEventRow> CWEventLogVC::_newEvents()
{
    CWLog *log = CWLog::sharedLog();
    const CWLogResult result = log ? log->eventLogEntriesAboveIndex(_highestEventIDRecorded) : std::nullopt;
    if (!result)
        return {};
    const QStringList indexes = result->value(QStringLiteral("eventidx"));
    const QStringList times = result->value(QStringLiteral("time"));
    const QStringList types = result->value(QStringLiteral("eventtype"));
    const QStringList data = result->value(QStringLiteral("data"));
    if (indexes.isEmpty())
        return {};
    _highestEventIDRecorded = indexes.last().toULongLong();

    std::vector<CWEventRow> rows;
    rows.reserve(indexes.size());
    for (qsizetype i = 0; i < indexes.size(); ++i)
        rows.push_back(_eventsToShowAC->eventRow(wholeNumber(indexes[i]), wholeNumber(times.value(i)),
                                                 int(wholeNumber(types.value(i))), data.value(i)));
    return rows;
}

void CWEventLogVC::_removeBattEntries()
{
    _eventsToShowAC->removeReadings();
    _highestBattIDRecorded = 0;
}
