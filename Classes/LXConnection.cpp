#include "LXConnection.h"

#include "Console.h"
#include "PropertyListParser.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cmath>

namespace {

// A header name must be an HTTP token; anything else could end the field early.
bool isHeaderName(const QString &name)
{
    static const QRegularExpression token(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+$"));
    return token.match(name).hasMatch();
}

// Line breaks and other control characters would let a value (a battery's firmware strings) add or
// split header fields.
bool isHeaderValue(const QString &value)
{
    return std::none_of(value.cbegin(), value.cend(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line
               || category == QChar::Separator_Paragraph;
    });
}

// Null when the bytes are not UTF-8.
QString decodedUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

} // namespace

LXConnection::LXConnection(const QString &serverURLString, const QMap<QString, QString> &dataToSend)
    : _serverURLString(serverURLString)
    , _urlRequest(QUrl(serverURLString))
{
    _urlRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    _urlRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    for (auto field = dataToSend.cbegin(); field != dataToSend.cend(); ++field) {
        if (!isHeaderName(field.key()) || !isHeaderValue(field.value())) {
            // The value itself is not echoed: it may be any garbage.
            Console::line(
                QStringLiteral("Left out header field %1 of %2: it holds a line break or another "
                               "character a header cannot carry")
                    .arg(isHeaderName(field.key()) ? field.key() : QStringLiteral("(unprintable)"), serverURLString));
            continue;
        }
        _urlRequest.setRawHeader(field.key().toLatin1(), field.value().toUtf8());
    }
    _urlRequest.setRawHeader("User-agent", "Cellwise");
}

void LXConnection::executeSynchronous(bool synchronous)
{
    const int timeoutMs = int(std::lround(_timeoutInterval * 1000.0));
    if (!synchronous) {
        _connObject.start(_urlRequest, UrlConnection::Method::Post, timeoutMs,
                          [this](const UrlConnection::Result &result) {
                              _received(result);
                              _statusCode = result.error.isNull() ? 0 : -1;
                              if (_delegate)
                                  _delegate->connectionFinished(this);
                          });
        return;
    }
    QEventLoop loop;
    _connObject.start(_urlRequest, UrlConnection::Method::Post, timeoutMs, [&](const UrlConnection::Result &result) {
        _received(result);
        _statusCode = result.httpStatus;
        loop.quit();
    });
    if (_connObject.isRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void LXConnection::_received(const UrlConnection::Result &result)
{
    _urlError = result.error;
    _dataPile = result.body;
    _resultString = result.error.isNull() ? decodedUtf8(_dataPile) : QString();
    _returnedData.clear();
    _hasParsed = false;
}

QVariant LXConnection::returnedData()
{
    if (!_hasParsed)
        parseData();
    return _returnedData;
}

void LXConnection::parseData()
{
    _hasParsed = true;
    _returnedData.clear();
    if (_resultString.isEmpty())
        return;
    QString error;
    _returnedData = PropertyListParser::parse(_resultString.toUtf8(), &error);
    if (_returnedData.isNull())
        Console::line(QStringLiteral("Unreadable reply from %1: %2").arg(_serverURLString, error));
}
