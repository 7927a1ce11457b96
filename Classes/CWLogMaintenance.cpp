#include "CWLogMaintenance.h"

void CWLogMaintenance::start(QObject *parent)
{
    if (CWLog *log = CWLog::sharedLog())
        new CWLogMaintenance(log, parent);
}

CWLogMaintenance::CWLogMaintenance(CWLog *log, QObject *parent)
    : QObject(parent)
    , _log(log)
    , _pass(log->beginSignify(false))
{
    connect(&_nextStep, &QTimer::timeout, this, &CWLogMaintenance::_step);
    _nextStep.start(0);
}

void CWLogMaintenance::_step()
{
    CWLog *log = CWLog::sharedLog();
    if (log == _log && log->isOpen()) {
        if (!_pass.isDone()) {
            log->signifyStep(_pass, kStepSamples);
            return;
        }
        if (!log->summariseTimes(kStepSamples * 5))
            return;
    }
    _nextStep.stop();
    deleteLater();
}
