#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

// One Cellwise per data directory: the first process holds a lock there and listens for later
// launches, which ask it to become active and then leave.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the only one; otherwise the running one has been asked to
    // become active.
    bool claim();

Q_SIGNALS:
    void activationRequested();

private:
    void _listen();
    void _requestActivation() const;

    QString _directory;
    QString _serverName;
    std::unique_ptr<QLockFile> _lock;
    QLocalServer *_server = nullptr;
};
