#include "SingleInstance.h"

#include "Console.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {
constexpr int kConnectTimeout = 2000;  // ms
constexpr int kConnectRetryPause = 25; // ms
const QByteArray kActivateMessage = QByteArrayLiteral("activate\n");
} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , _directory(directory)
    // The socket name follows the directory, so separate data directories (tests) never meet.
    , _serverName(QStringLiteral("cellwise-")
                  + QString::fromLatin1(
                      QCryptographicHash::hash(directory.toUtf8(), QCryptographicHash::Sha1).toHex().left(16)))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    QDir().mkpath(_directory);
    _lock = std::make_unique<QLockFile>(_directory + QStringLiteral("/cellwise.lock"));
    if (!_lock->tryLock(0)) {
        if (_lock->error() != QLockFile::LockFailedError) {
            // An unwritable directory must not stop Cellwise; the database reports its own trouble.
            const QString reason = _lock->error() == QLockFile::PermissionError ? QStringLiteral("permission denied")
                                                                                : QStringLiteral("unknown error");
            Console::line(
                QStringLiteral("Unable to lock %1 (%2); not checking for another Cellwise").arg(_directory, reason));
            return true;
        }
        _requestActivation();
        return false;
    }
    _listen();
    return true;
}

void SingleInstance::_listen()
{
    _server = new QLocalServer(this);
    QLocalServer::removeServer(_serverName); // left behind by a process that was killed
    if (!_server->listen(_serverName)) {
        Console::line(QStringLiteral("Unable to listen for other launches: %1").arg(_server->errorString()));
        return;
    }
    connect(_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = _server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(kActivateMessage))
                    Q_EMIT activationRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

// A process launched in the same instant may hold the lock but not listen yet: keep trying for a
// while rather than lose the request.
void SingleInstance::_requestActivation() const
{
    QLocalSocket socket;
    QDeadlineTimer deadline(kConnectTimeout);
    for (;;) {
        socket.connectToServer(_serverName);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired()) {
            Console::line(
                QStringLiteral("Cellwise is already running but does not answer: %1").arg(socket.errorString()));
            return;
        }
        socket.abort();
        QThread::msleep(kConnectRetryPause);
    }
    socket.write(kActivateMessage);
    socket.waitForBytesWritten(kConnectTimeout);
    socket.disconnectFromServer();
}
