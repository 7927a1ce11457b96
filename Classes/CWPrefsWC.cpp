#include "CWPrefsWC.h"

#include "AlertPanel.h"
#include "CWAutostart.h"
#include "CWLog.h"
#include "CWLogMaintenance.h"
#include "DefaultsBinding.h"
#include "ui_CWPrefsWC.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QProgressDialog>

namespace {
// Runs a long database operation with the busy cursor showing.
template <typename Work>
void withBusyCursor(Work work)
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    work();
    QGuiApplication::restoreOverrideCursor();
}
} // namespace

CWPrefsWC::CWPrefsWC(CWLog *log, QObject *parent)
    : QObject(parent)
    , _log(log)
    , _ui(std::make_unique<Ui::CWPrefsWC>())
{
}

CWPrefsWC::~CWPrefsWC()
{
    delete _window;
}

QWidget *CWPrefsWC::window()
{
    if (!_window) {
        _window = new QWidget(nullptr, Qt::Window);
        _ui->setupUi(_window);
        _bindControls();
        _window->adjustSize();
        connect(_ui->clearAllLogsButton, &QPushButton::clicked, this, &CWPrefsWC::clearAllLogs);
        connect(_ui->reIndexLogButton, &QPushButton::clicked, this, &CWPrefsWC::reIndexLog);
        connect(_ui->startAtLogin, &QCheckBox::clicked, this, &CWPrefsWC::setStartAtLogin);
        _window->installEventFilter(this);
    }
    return _window;
}

void CWPrefsWC::showWindow()
{
    QWidget *shown = window();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

bool CWPrefsWC::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == _window && (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate))
        _showStartAtLogin();
    return QObject::eventFilter(watched, event);
}

void CWPrefsWC::_showStartAtLogin()
{
    _ui->startAtLogin->setChecked(CWAutostart::isEnabled());
}

void CWPrefsWC::setStartAtLogin(bool enabled)
{
    QString error;
    if (!CWAutostart::setEnabled(enabled, &error))
        AlertPanel::run(
            {tr("Cellwise could not change how it starts at login."), error, tr("OK"), QString(), QString()});
    window();
    _showStartAtLogin();
}

void CWPrefsWC::_bindControls()
{
    _ui->battUnit->addItem(tr("Watts"), 1);
    _ui->battUnit->addItem(tr("Amperes"), 2);
    _ui->temperatureUnit->addItem(tr("Degrees Celsius"), 1);
    _ui->temperatureUnit->addItem(tr("Degrees Fahrenheit"), 2);
    _ui->temperatureUnit->addItem(tr("Kelvin"), 3);

    DefaultsBinding::bindChecked(_ui->showWindowOnActivate, QStringLiteral("CWShowWindowOnActivate"));
    DefaultsBinding::bindChecked(_ui->sendBattData, QStringLiteral("CWSendBattDataToServer"));
    DefaultsBinding::bindChecked(_ui->eventLogShowBattData, QStringLiteral("CWEventLogShowBattData"));
    DefaultsBinding::bindCurrentData(_ui->battUnit, QStringLiteral("CWDefaultBattUnit"));
    DefaultsBinding::bindCurrentData(_ui->temperatureUnit, QStringLiteral("CWDefaultTemperatureUnit"));
    DefaultsBinding::bindValue(_ui->nominalVoltage, QStringLiteral("CWBattNominalVoltage"));
    DefaultsBinding::bindValue(_ui->maxAH, QStringLiteral("CWMaxAH"));
    DefaultsBinding::bindValue(_ui->voltsSpread, QStringLiteral("CWVoltsSpread"));
}

void CWPrefsWC::clearAllLogs()
{
    const AlertPanel::Response response =
        AlertPanel::run({tr("Delete all data?"),
                         tr("Are you sure you want to permanently delete all of Cellwise's historical log data?"),
                         tr("Cancel"), tr("Delete"), QString()});
    if (response != AlertPanel::Response::Alternate)
        return;
    if (!_log)
        return;
    withBusyCursor([this] {
        _log->deleteAll();
        _log->vacuum();
    });
}

// Every sample classified afresh, in steps under a progress dialog that keeps the window (and the
// logging) going; a cancelled re-index leaves every sample with a valid class.
void CWPrefsWC::reIndexLog()
{
    if (!_log)
        return;
    constexpr int kSteps = 1000;
    QProgressDialog progress(tr("Re-indexing the log..."), tr("Cancel"), 0, kSteps, _window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    CWLog::SignifyPass pass = _log->beginSignify(true);
    while (!pass.isDone() && !progress.wasCanceled()) {
        _log->signifyStep(pass, CWLogMaintenance::kStepSamples);
        progress.setValue(int(pass.doneFraction() * kSteps));
    }
}
