#include "UnixSignals.h"

#include "Console.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace UnixSignals {
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: hand the number to the main thread through the pipe.
void forwardSignal(int signal)
{
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &number, 1);
}

} // namespace

void onTermination(std::function<void(int)> handler)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        Console::line(QStringLiteral("ERROR: unable to watch for termination signals: ")
                      + QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [handler = std::move(handler)] {
        char number = 0;
        if (::read(signalPipe[1], &number, 1) == 1)
            handler(number);
    });
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace UnixSignals
