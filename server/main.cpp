// cellwise-server: the statistics server Cellwise registers with, uploads to and downloads averages
// and the version check from.
#include "Console.h"
#include "ServerOptions.h"
#include "StatsHttpServer.h"
#include "StatsService.h"
#include "StatsStore.h"

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
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

int serve(const ServerOptions &options)
{
    StatsStore store;
    if (!store.open(options.databasePath))
        return 1;
    StatsService service(store, {options.minMachines, options.currentVersion, options.productPage});
    StatsHttpServer http(service);
    if (!http.bind(options.host, options.port))
        return 1;
    Console::line(QStringLiteral("cellwise-server: serving http://%1:%2 from %3")
                      .arg(QString::fromStdString(options.host))
                      .arg(http.port())
                      .arg(options.databasePath));

    std::atomic<bool> served = true;
    std::thread serving([&] {
        served = http.listen();
        ::kill(::getpid(), SIGTERM); // wakes the main thread when serving ends on its own
    });
    const sigset_t stopSignals = terminationSignals();
    int received = 0;
    sigwait(&stopSignals, &received);
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
