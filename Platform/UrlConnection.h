#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QNetworkReply;

// One HTTP request on the application's network access manager, with a limit on the whole exchange's
// duration and on the reply's size, so a silent or hostile server can neither hold the request open
// nor fill memory. Completion comes once, from the event loop.
class UrlConnection {
public:
    enum class Method { Get, Post };

    // Larger replies are refused; the statistics server's are a few kilobytes.
    static constexpr qint64 maximumReplyBytes = 1024 * 1024;

    struct Result {
        int httpStatus = 0; // 0 when no HTTP reply arrived
        QByteArray body;    // the reply's bytes, whatever its status
        QString error;      // null when a reply arrived; otherwise why the request failed
    };
    using Completion = std::function<void(const Result &)>;

    UrlConnection();
    // A request still running is abandoned without its completion.
    ~UrlConnection();
    UrlConnection(const UrlConnection &) = delete;
    UrlConnection &operator=(const UrlConnection &) = delete;

    // Sends the request without a body. completion may destroy this object.
    void start(const QNetworkRequest &request, Method method, int timeoutMs, Completion completion);
    bool isRunning() const;

private:
    bool _take(QNetworkReply *reply);
    void _refuse(const QString &reason);
    void _finish();
    void _abandon();
    QNetworkReply *_release();

    QPointer<QNetworkReply> _reply; // the manager owns it, and deletes it when the application ends
    QTimer _deadline;
    QByteArray _body;
    QString _refusal; // why we ended the request ourselves
    Completion _completion;
};
