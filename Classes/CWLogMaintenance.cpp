#include "CWLogMaintenance.h"

void CWLogMaintenance::start(QObject *parent)
{
    if (CWLog *log = CWLog::sharedLog())
        new CWLogMaintenance(log, parent);
}

CWLogMaintenance::CWLogMaintenance(CWLog *log, QObject *parent)
    : QObject(parent)
    , _log(log)
    , _check(QThread::create([this, path = log->logFile()] {
        _damage = CWLog::checkWholeFile(path, _cancelled);
        if (_damage.isNull())
            CWLog::addAnchorIndex(path, _cancelled);
    }))
{
    connect(&_nextStep, &QTimer::timeout, this, &CWLogMaintenance::_step);
    connect(_check.get(), &QThread::finished, this, &CWLogMaintenance::_checked);
    _check->start(QThread::LowestPriority);
}

CWLogMaintenance::~CWLogMaintenance()
{
    _cancelled = true;
    _check->wait();
}

// Nothing is written into the file before it is known to be sound: a damaged one is kept as it was.
void CWLogMaintenance::_checked()
{
    CWLog *log = CWLog::sharedLog();
    if (log != _log || !log->isOpen()) {
        deleteLater();
    } else if (!_damage.isNull()) {
        log->setAsideDamaged(_damage);
        deleteLater();
    } else {
        _pass = log->beginSignify(false);
        _nextStep.start(0);
    }
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
