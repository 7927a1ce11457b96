#pragma once

#include "LXConnection.h"

#include <QVariantMap>
#include <memory>
#include <vector>

// Hears the statistics server's replies, once per request, a failed exchange included.
class LXCWServerDelegate {
public:
    // -1 when the registration failed.
    virtual void gotNewMachineID(qint32 machineID) = 0;
    // The model records; null when the download failed.
    virtual void gotPBModels(const QVariant &models) = 0;
    // The averages records; null when the download failed.
    virtual void gotBattData(const QVariant &battData) = 0;
    virtual void sentBattData() = 0;

protected:
    ~LXCWServerDelegate() = default;
};

// The statistics server's client: registers the machine, uploads a sample and downloads the
// per-model averages and the model list, each request an asynchronous exchange whose end is passed
// on to the delegate.
class LXCWServer final : public LXConnectionDelegate {
public:
    static LXCWServer *sharedServer();
    // The server named by the environment variable CELLWISE_SERVER, else by the user default
    // CWServerURL, else the local one; without a trailing slash.
    static QString serverURL();

    LXCWServerDelegate *delegate() const { return _delegate; }
    void setDelegate(LXCWServerDelegate *delegate) { _delegate = delegate; }

    void registerMachine(const QString &modelCode);
    void getBattData();
    // battData is a battery snapshot with the key "machineID" added.
    void sendBattData(const QVariantMap &battData);
    void getPBModels();

    void connectionFinished(LXConnection *connection) override;

    // Every exchange started, finished or not.
    const std::vector<std::unique_ptr<LXConnection>> &conns() const { return _conns; }

private:
    void _start(const QString &path, const QMap<QString, QString> &headers, const QString &name);

    LXCWServerDelegate *_delegate = nullptr;
    std::vector<std::unique_ptr<LXConnection>> _conns;
};
