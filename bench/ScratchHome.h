#pragma once

// Shared by the bench tools: a home of their own and a way to let the window live.

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

// The run's log and settings go to a temporary home, never the user's. Make it before the
// application object, which reads these places.
class ScratchHome {
public:
    ScratchHome()
    {
        qputenv("XDG_DATA_HOME", (_dir.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (_dir.path() + QStringLiteral("/config")).toUtf8());
    }

private:
    QTemporaryDir _dir;
};

// Runs the event loop (timers, painting, the monitor's ticks) for a while.
inline void runEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}
