// cellwise-server: the statistics server Cellwise registers with, uploads to and downloads averages
// and the version check from.
#include "Console.h"
#include "ServerOptions.h"
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "StatsStore.h"

#include <QCoreApplication>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <limits>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM are blocked in every thread and taken by sigwait() on the main thread, which
// can then stop the server outside of a signal handler.
sigset_t terminationSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    return stopSignals;
}

// 0 on the command line turns a rate limit off.
double rateLimit(int perSecond)
{
    return perSecond > 0 ? perSecond : std::numeric_limits<double>::infinity();
}

HttpLimits httpLimits(int floodPerSecond)
{
    HttpLimits limits;
    limits.perSecond = rateLimit(floodPerSecond);
    limits.burst = 6 * limits.perSecond;
    return limits;
}

// A connection URI may carry a password, which does not belong in a log.
QString shownLocation(const QString &database)
{
    return database.contains(QLatin1String("://"))
               ? QUrl(database).toDisplayString(QUrl::RemovePassword | QUrl::RemoveQuery)
               : database;
}

int serve(const ServerOptions &options)
{
    const std::unique_ptr<StatsStore> store = openStatsStore(options.databasePath);
    if (!store)
        return 1;
    StatsService service(*store, {options.minMachines, options.currentVersion, options.productPage,
                                  rateLimit(options.registrationsPerSecond)});
    if (!service.refreshSnapshot())
        return 1;
    StatsHttpServer http(service, httpLimits(options.floodPerSecond));
    if (!http.bind(options.host, options.port))
        return 1;
    Console::line(QStringLiteral("cellwise-server: serving http://%1:%2 from %3")
                      .arg(QString::fromStdString(options.host))
                      .arg(http.port())
                      .arg(shownLocation(options.databasePath)));

    std::atomic<bool> served = true;
    std::thread serving([&] {
        served = http.listen();
        ::kill(::getpid(), SIGTERM); // wakes the main thread when serving ends on its own
    });
    // Between signals the main thread recomputes the snapshot that requests read.
    const sigset_t stopSignals = terminationSignals();
    const timespec period{options.refreshSeconds, 0};
    while (sigtimedwait(&stopSignals, nullptr, &period) < 0) {
        if (errno == EAGAIN)
            service.refreshSnapshot();
    }
    http.stop();
    serving.join();
    Console::line(QStringLiteral("cellwise-server: stopped"));
    return served ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const sigset_t stopSignals = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr); // before any thread starts, so all inherit it
    std::signal(SIGPIPE, SIG_IGN); // a client that hangs up is the socket's error, not the process's end

    QCoreApplication app(argc, argv);
    QString error;
    const std::optional<ServerOptions> options = parseServerOptions(QCoreApplication::arguments(), error);
    if (!options) {
        Console::line(QStringLiteral("cellwise-server: %1 (see --help)").arg(error));
        return 2;
    }
    if (options->showHelp) {
        std::fputs(serverHelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    return serve(*options);
}
