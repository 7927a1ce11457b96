#include "CWGraphVC.h"

#include "ui_CWGraphVC.h"

#include "CWCWGraphView.h"
#include "CWGraphRange.h"
#include "CWLog.h"
#include "CWUtil.h"
#include "Console.h"
#include "UserDefaults.h"

#include <QIntValidator>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace {

constexpr int kRefreshIntervalMs = 5000;
constexpr qint64 kSecondsPerYear = 31'536'000; // 365 days
constexpr int kDefaultAgo = 60;                // with minutes: the last hour

const QStringList kDisplaySettings = {QStringLiteral("CWDefaultTemperatureUnit"),
                                      QStringLiteral("CWBattNominalVoltage"), QStringLiteral("CWVoltsSpread"),
                                      QStringLiteral("CWMaxAH")};

} // namespace

CWGraphVC::CWGraphVC(const QString &nibName, CWLog *log, QObject *parent)
    : CWFormVC(nibName, parent)
    , _log(log)
{
    _recentTimer.setInterval(kRefreshIntervalMs);
    connect(&_recentTimer, &QTimer::timeout, this, &CWGraphVC::_updateGraphView);
    _readOn.setSingleShot(true);
    connect(&_readOn, &QTimer::timeout, this, &CWGraphVC::_updateGraphView);
}

CWGraphVC::~CWGraphVC()
{
    deactivate();
    // The base deletes the view after this object's parts are gone; its controls must not call back.
    if (isViewLoaded()) {
        for (QObject *control : std::initializer_list<QObject *>{_ui->dateRangeRadio, _ui->agoField, _ui->agoStepper,
                                                                 _ui->agoPopup, _ui->dateFromPicker, _ui->dateToPicker})
            control->disconnect(this);
    }
}

Ui::CWGraphVC &CWGraphVC::_outlets()
{
    view();
    return *_ui;
}

// clang-format off
CWCWGraphView *CWGraphVC::graphView() { return _outlets().graphView; }
QLineEdit *CWGraphVC::agoField() { return _outlets().agoField; }
QComboBox *CWGraphVC::agoPopup() { return _outlets().agoPopup; }
QSpinBox *CWGraphVC::agoStepper() { return _outlets().agoStepper; }
QDateTimeEdit *CWGraphVC::dateFromPicker() { return _outlets().dateFromPicker; }
QDateTimeEdit *CWGraphVC::dateToPicker() { return _outlets().dateToPicker; }
QButtonGroup *CWGraphVC::dateRangeRadio() { return _outlets().dateRangeRadio; }
// clang-format on

void CWGraphVC::_setUpControls()
{
    _ui->dateRangeRadio->setId(_ui->recentRadio, Recent);
    _ui->dateRangeRadio->setId(_ui->fixedRadio, Fixed);
    _ui->agoField->setValidator(new QIntValidator(1, _ui->agoStepper->maximum(), _ui->agoField));
    // A stepper: only the arrows show; the number stands in the field beside them.
    QSpinBox *stepper = _ui->agoStepper;
    QStyleOptionSpinBox option;
    option.initFrom(stepper);
    option.frame = stepper->hasFrame();
    const QRect arrows = stepper->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, stepper);
    stepper->findChild<QLineEdit *>()->hide();
    stepper->setFixedWidth(arrows.width()
                           + 2 * stepper->style()->pixelMetric(QStyle::PM_SpinBoxFrameWidth, &option, stepper));
    const CWGraphRange::Unit tags[] = {CWGraphRange::Minutes, CWGraphRange::Hours, CWGraphRange::Days};
    for (int item = 0; item < _ui->agoPopup->count(); ++item)
        _ui->agoPopup->setItemData(item, tags[item]);
}

void CWGraphVC::awakeFromNib()
{
    _setUpControls();
    CWCWGraphView *graph = _ui->graphView;
    graph->setType(CWGradientView::Radial);
    graph->setAngle(-90);
    _ui->recentRadio->setChecked(true);
    _ui->agoField->setText(QString::number(kDefaultAgo));
    _ui->agoStepper->setValue(kDefaultAgo);
    _ui->agoPopup->setCurrentIndex(_ui->agoPopup->findData(CWGraphRange::Minutes));
    const QDateTime now = QDateTime::currentDateTime();
    _ui->dateFromPicker->setDateTime(now.addSecs(-kSecondsPerYear));
    _ui->dateToPicker->setDateTime(now);
    _updateControlAvailability();
    _updateGraphView();
    graph->setGradient({{0.0, CWUtil::hexColorToCGColor("181818")}, {1.0, CWUtil::hexColorToCGColor("1f1f1f")}});
    graph->setNoise(0.06);
    // Only now: setting the defaults above is no change of the user's.
    _connectControls();
}

void CWGraphVC::_connectControls()
{
    Ui::CWGraphVC &ui = *_ui;
    connect(ui.dateRangeRadio, &QButtonGroup::idClicked, this, [this] { changeDateVals(_ui->dateRangeRadio); });
    connect(ui.agoStepper, &QSpinBox::valueChanged, this, [this] { changeDateVals(_ui->agoStepper); });
    connect(ui.agoField, &QLineEdit::editingFinished, this, [this] { changeDateVals(_ui->agoField); });
    connect(ui.agoPopup, &QComboBox::currentIndexChanged, this, [this] { changeDateVals(_ui->agoPopup); });
    connect(ui.dateFromPicker, &QDateTimeEdit::dateTimeChanged, this, [this] { changeDateVals(_ui->dateFromPicker); });
    connect(ui.dateToPicker, &QDateTimeEdit::dateTimeChanged, this, [this] { changeDateVals(_ui->dateToPicker); });
}

CWGraphVC::TimeMode CWGraphVC::timeMode()
{
    return dateRangeRadio()->checkedId() == Recent ? Recent : Fixed;
}

// The stepper holds the field's number as last committed, never a half-typed one.
double CWGraphVC::secondsAgo()
{
    return agoStepper()->value() * CWGraphRange::secondsPerUnit(agoPopup()->currentData().toLongLong());
}

// Both ends from one reading of the clock, so that a range of N units is N units long.
std::pair<QDateTime, QDateTime> CWGraphVC::_effectiveRange()
{
    if (timeMode() == Fixed)
        return {dateFromPicker()->dateTime(), dateToPicker()->dateTime()};
    const QDateTime now = QDateTime::currentDateTime();
    return {now.addMSecs(-qint64(secondsAgo() * 1000.0)), now};
}

void CWGraphVC::activate()
{
    deactivate();
    // What was logged while the page was hidden shows at once, not at the next tick.
    if (timeMode() == Recent)
        _updateGraphView();
    for (const QString &key : kDisplaySettings) {
        _graphObservations.push_back(UserDefaults::standard().addObserver(QStringLiteral("values.") + key, [this] {
            graphView()->refreshGrid();
            _updateGraphView();
        }));
    }
}

void CWGraphVC::deactivate()
{
    stopTimer();
    _graphObservations.clear();
}

void CWGraphVC::changeDateVals(QObject *sender)
{
    Ui::CWGraphVC &ui = _outlets();
    if (sender == ui.dateRangeRadio) {
        _updateControlAvailability();
    } else if (sender == ui.agoStepper) {
        const QSignalBlocker blocker(ui.agoField);
        ui.agoField->setText(QString::number(ui.agoStepper->value()));
    } else if (sender == ui.agoField) {
        const QSignalBlocker blocker(ui.agoStepper);
        ui.agoStepper->setValue(ui.agoField->text().toInt());
    } else if (sender != ui.agoPopup && sender != ui.dateFromPicker && sender != ui.dateToPicker) {
        const QString name = sender ? QString::fromLatin1(sender->metaObject()->className()) : QStringLiteral("(null)");
        Console::line(QStringLiteral("Error: Unexpected sender ") + name + QStringLiteral(" in changeDateVals:"));
    }
    _samples.clear();
    _updateGraphView();
}

void CWGraphVC::startTimer()
{
    _recentTimer.start();
}

void CWGraphVC::stopTimer()
{
    _recentTimer.stop();
}

bool CWGraphVC::setRange(const QString &text)
{
    const std::optional<CWGraphRange> range = CWGraphRange::fromText(text, QTimeZone::systemTimeZone());
    if (!range)
        return false;
    Ui::CWGraphVC &ui = _outlets();
    const QSignalBlocker blockers[] = {QSignalBlocker(ui.dateRangeRadio), QSignalBlocker(ui.agoField),
                                       QSignalBlocker(ui.agoStepper),     QSignalBlocker(ui.agoPopup),
                                       QSignalBlocker(ui.dateFromPicker), QSignalBlocker(ui.dateToPicker)};
    if (range->recent) {
        ui.recentRadio->setChecked(true);
        ui.agoField->setText(QString::number(range->count));
        ui.agoStepper->setValue(range->count);
        ui.agoPopup->setCurrentIndex(ui.agoPopup->findData(range->unit));
    } else {
        ui.fixedRadio->setChecked(true);
        ui.dateFromPicker->setDateTime(range->from);
        ui.dateToPicker->setDateTime(range->to);
    }
    _updateControlAvailability();
    _samples.clear();
    _updateGraphView();
    return true;
}

void CWGraphVC::_updateControlAvailability()
{
    Ui::CWGraphVC &ui = _outlets();
    const bool fixed = timeMode() == Fixed;
    ui.agoField->setEnabled(!fixed);
    ui.agoPopup->setEnabled(!fixed);
    ui.agoStepper->setEnabled(!fixed);
    ui.dateFromPicker->setEnabled(fixed);
    ui.dateToPicker->setEnabled(fixed);
}

void CWGraphVC::_updateGraphView()
{
    CWCWGraphView *graph = graphView();
    if (timeMode() == Fixed) {
        stopTimer();
        graph->setSecondsAgo(0.0);
        graph->setStartDate(dateFromPicker()->dateTime());
        graph->setEndDate(dateToPicker()->dateTime());
    } else {
        if (!_recentTimer.isActive())
            startTimer();
        graph->setSecondsAgo(secondsAgo());
    }
    _pushDataIntoGraphView();
    graph->update();
}

void CWGraphVC::_pushDataIntoGraphView()
{
    CWCWGraphView *graph = graphView();
    const QColorSpace colorSpace(QColorSpace::SRgb);
    const auto [start, end] = _effectiveRange();
    // The rest of a long window is read on the next turns of the event loop, not all at once.
    if (!_log)
        _samples.clear();
    else if (!_samples.read(*_log, start, end, CWGraphSamples::significanceMask(double(start.msecsTo(end)) / 1000.0),
                            timeMode() == Recent))
        _readOn.start();
    // The voltage range of the current settings, also before the first draw.
    graph->updateGrid();
    const CWGraphSamples::Scale scale{double(start.toMSecsSinceEpoch()) / 1000.0,
                                      double(end.toMSecsSinceEpoch()) / 1000.0, graph->maxAh(), graph->voltsMin(),
                                      graph->voltsMax()};
    const CWGraphSamples::Colors colors{CWCreateCGColorFromNSColor(colorSpace, graph->maxCapColor()),
                                        CWCreateCGColorFromNSColor(colorSpace, graph->voltsColor()),
                                        CWCreateCGColorFromNSColor(colorSpace, graph->tempColor()),
                                        CWCreateCGColorFromNSColor(colorSpace, graph->currentCapColor())};
    for (CWGraphSamples::PlacedSpec &placed : _samples.graphSpecs(scale, colors, graph->takeGraphVertices()))
        graph->addGraphSpec(std::move(placed.spec), placed.list);
}
