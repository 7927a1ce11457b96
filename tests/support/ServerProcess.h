#pragma once

// cellwise-server as a process of its own, for tests built with CELLWISE_SERVER_EXECUTABLE; killed
// when the test ends.
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

class ServerProcess {
public:
    explicit ServerProcess(const QStringList &arguments)
    {
        _process.start(QStringLiteral(CELLWISE_SERVER_EXECUTABLE), arguments);
    }
    ~ServerProcess()
    {
        _process.kill();
        _process.waitForFinished(5000);
    }
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // From the line the server writes once it listens; empty when it did not within 10 s.
    QString url()
    {
        static const QRegularExpression serving(QStringLiteral("serving (http://127\\.0\\.0\\.1:\\d+) "));
        for (int i = 0; i < 100; ++i) {
            _errors += _process.readAllStandardError();
            if (const QRegularExpressionMatch match = serving.match(QString::fromUtf8(_errors)); match.hasMatch())
                return match.captured(1);
            if (!_process.waitForReadyRead(100) && _process.state() == QProcess::NotRunning)
                break;
        }
        return {};
    }
    int port() { return QUrl(url()).port(); }

    // The exit code once it ended by itself within 10 s; -1 otherwise.
    int finish()
    {
        if (!_process.waitForFinished(10000) || _process.exitStatus() != QProcess::NormalExit)
            return -1;
        _errors += _process.readAllStandardError();
        return _process.exitCode();
    }

    QProcess &process() { return _process; }
    QString errors() const { return QString::fromUtf8(_errors); }

private:
    QProcess _process;
    QByteArray _errors;
};
