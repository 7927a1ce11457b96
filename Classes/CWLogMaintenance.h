#pragma once

#include "CWLog.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

// The shared log's upkeep after launch, done so that the window never waits on it. First a worker
// thread reads the whole file once for damage, which a launch cannot wait for (seconds on a large
// log); a damaged file is moved aside and the log started anew, and a sound one written by an older
// version gets the index of anchors. Then, in steps from the event loop,
// the samples left unclassified are classified, and a log that has no summary of its times yet
// (one written by an older version) gets one, so that the graph's first window does not wait for
// it. Ends by itself when done, or when the shared log is closed or replaced.
class CWLogMaintenance : public QObject {
    Q_OBJECT
public:
    // Samples looked at per step: some tens of milliseconds of work.
    static constexpr qint64 kStepSamples = 20000;

    // Starts the upkeep, owned by parent; nothing happens without a shared log.
    static void start(QObject *parent);
    ~CWLogMaintenance() override;

private:
    CWLogMaintenance(CWLog *log, QObject *parent);
    void _step();
    void _checked();

    const CWLog *const _log;
    CWLog::SignifyPass _pass;
    QTimer _nextStep;
    std::atomic<bool> _cancelled = false;
    QString _damage; // written by the check's thread, read once it finished
    std::unique_ptr<QThread> _check;
};
