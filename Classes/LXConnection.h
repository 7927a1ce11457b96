#pragma once

#include "UrlConnection.h"

#include <QByteArray>
#include <QMap>
#include <QNetworkRequest>
#include <QString>
#include <QVariant>

class LXConnection;

class LXConnectionDelegate {
public:
    virtual void connectionFinished(LXConnection *connection) = 0;

protected:
    ~LXConnectionDelegate() = default;
};

// One request to the statistics server and its reply: always a POST without a body, the values
// travelling as request header fields. Runs asynchronously, telling its delegate when it ends, or
// synchronously.
class LXConnection {
public:
    static constexpr double defaultTimeoutInterval = 15.0; // s, for the whole exchange

    // Header names and values become request header fields. A value with a line break or another
    // control character could add or split a header: such a field is left out, with a console line.
    explicit LXConnection(const QString &serverURLString, const QMap<QString, QString> &dataToSend = {});

    LXConnectionDelegate *delegate() const { return _delegate; }
    void setDelegate(LXConnectionDelegate *delegate) { _delegate = delegate; }
    QString connectionName() const { return _connectionName; }
    void setConnectionName(const QString &name) { _connectionName = name; }
    double timeoutInterval() const { return _timeoutInterval; }
    void setTimeoutInterval(double seconds) { _timeoutInterval = seconds; }

    // Synchronous: the whole exchange happens before this returns, statusCode is the HTTP status
    // (0 without a reply) and the delegate is not told. Asynchronous: returns at once; when the
    // exchange ends statusCode is 0 for any reply, whatever its HTTP status, or -1 for a transport
    // failure, and the delegate hears of it.
    void executeSynchronous(bool synchronous);
    bool isRunning() const { return _connObject.isRunning(); }

    QString serverURLString() const { return _serverURLString; }
    // The reply as UTF-8 text; null without a reply or when its bytes are not UTF-8.
    QString returnedString() const { return _resultString; }
    // The reply parsed as a property list on first use; null when empty or unreadable.
    QVariant returnedData();
    void parseData();
    qint64 statusCode() const { return _statusCode; }
    // Why the exchange failed; null when a reply arrived.
    QString urlError() const { return _urlError; }

private:
    void _received(const UrlConnection::Result &result);

    QString _serverURLString;
    QNetworkRequest _urlRequest;
    UrlConnection _connObject;
    double _timeoutInterval = defaultTimeoutInterval;
    QByteArray _dataPile;
    QString _resultString;
    QVariant _returnedData;
    bool _hasParsed = false;
    QString _urlError;
    qint64 _statusCode = 0;
    QString _connectionName;
    LXConnectionDelegate *_delegate = nullptr;
};
