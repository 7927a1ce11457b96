#include "UrlConnection.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <utility>

namespace {

// One manager for the whole application; the application deletes it, with any reply still running.
QNetworkAccessManager &accessManager()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

} // namespace

UrlConnection::UrlConnection()
{
    _deadline.setSingleShot(true);
    QObject::connect(&_deadline, &QTimer::timeout,
                     [this] { _refuse(QString::asprintf("timed out after %g s", _deadline.interval() / 1000.0)); });
}

UrlConnection::~UrlConnection()
{
    _abandon();
}

void UrlConnection::start(const QNetworkRequest &request, Method method, int timeoutMs, Completion completion)
{
    _abandon();
    _body.clear();
    _refusal.clear();
    _completion = std::move(completion);
    // An empty body still goes out with "Content-Length: 0", which every proxy accepts on a POST.
    QNetworkReply *reply =
        method == Method::Post ? accessManager().post(request, QByteArray()) : accessManager().get(request);
    _reply = reply;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply] {
        if (!_take(reply))
            reply->abort(); // finishes the reply at once
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this] { _finish(); });
    _deadline.start(timeoutMs);
}

bool UrlConnection::isRunning() const
{
    return _reply != nullptr;
}

// Moves the bytes that arrived into the body; false (with the reason kept) when they are too many.
bool UrlConnection::_take(QNetworkReply *reply)
{
    if (_body.size() + reply->bytesAvailable() > maximumReplyBytes) {
        _refusal = QStringLiteral("the reply is larger than %1 bytes").arg(maximumReplyBytes);
        return false;
    }
    _body += reply->readAll();
    return true;
}

void UrlConnection::_refuse(const QString &reason)
{
    QNetworkReply *reply = _reply;
    if (!reply)
        return;
    _refusal = reason;
    reply->abort(); // finishes the reply at once
}

void UrlConnection::_finish()
{
    QNetworkReply *reply = _release();
    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (_refusal.isNull() && status.isValid() && _take(reply)) {
        result.httpStatus = status.toInt();
        result.body = std::exchange(_body, {});
    } else {
        result.error = _refusal.isNull() ? reply->errorString() : _refusal;
        _body.clear();
    }
    const Completion completion = std::move(_completion);
    completion(result);
}

void UrlConnection::_abandon()
{
    if (QNetworkReply *reply = _release())
        reply->abort();
}

// Lets go of the running reply, which stays readable until the event loop deletes it.
QNetworkReply *UrlConnection::_release()
{
    _deadline.stop();
    QNetworkReply *reply = _reply;
    _reply = nullptr;
    if (reply) {
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->deleteLater();
    }
    return reply;
}
