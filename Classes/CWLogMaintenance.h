#pragma once

#include "CWLog.h"

#include <QObject>
#include <QTimer>

// The shared log's upkeep after launch, done in steps from the event loop so that the window never
// waits on it: the samples left unclassified are classified, then a log that has no summary of its
// times yet (one written by an older version) gets one, so that the graph's first window does not
// wait for it. Ends by itself when done, or when the shared log is closed or replaced.
class CWLogMaintenance : public QObject {
    Q_OBJECT
public:
    // Samples looked at per step: some tens of milliseconds of work.
    static constexpr qint64 kStepSamples = 20000;

    // Starts the upkeep, owned by parent; nothing happens without a shared log.
    static void start(QObject *parent);

private:
    CWLogMaintenance(CWLog *log, QObject *parent);
    void _step();

    const CWLog *const _log;
    CWLog::SignifyPass _pass;
    QTimer _nextStep;
};
