#include "LXVersionChecker.h"

#include "AlertPanel.h"
#include "Console.h"
#include "LXAdditions.h"
#include "LXCWServer.h"
#include "PropertyListParser.h"
#include "UrlOpener.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>
#include <cmath>

namespace {

// A property-list flag: a boolean, a number, or text read the way "YES", "true" and "1" are meant
// (OpenStep text has no other kind of value).
bool isTrue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        static const QRegularExpression yes(QStringLiteral("^\\s*[+-]?0*[YyTt1-9]"));
        return yes.match(value.toString()).hasMatch();
    }
    default:
        return false;
    }
}

// Only a web page is worth offering; a server must not make us open files or other programs.
QUrl webPage(const QVariant &productPage)
{
    const QUrl url(productPage.toString(), QUrl::StrictMode);
    const bool isWebPage =
        url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty();
    if (!productPage.isNull() && !isWebPage)
        Console::line(QStringLiteral("Ignored the product page of the version check: not a web address"));
    return isWebPage ? url : QUrl();
}

} // namespace

void LXVersionChecker::checkVersion()
{
    const QString url = LXCWServer::serverURL()
                        + QStringLiteral("/versioncheck.php?name=%1&ver=%2")
                              .arg(LXAdditions::urlEncode(QCoreApplication::applicationName()),
                                   LXAdditions::urlEncode(QCoreApplication::applicationVersion()));
    _versionData.clear();
    _connection.start(QNetworkRequest(QUrl(url)), UrlConnection::Method::Get,
                      int(std::lround(timeoutInterval * 1000.0)),
                      [this](const UrlConnection::Result &result) { _finished(result); });
}

void LXVersionChecker::_finished(const UrlConnection::Result &result)
{
    if (!result.error.isNull()) {
        Console::line(QStringLiteral("Couldn't check version: ") + result.error);
        return;
    }
    _versionData = result.body;
    QString error;
    const QVariant reply = PropertyListParser::parse(_versionData, &error);
    if (reply.isNull()) {
        Console::line(QStringLiteral("Couldn't check version: ") + error);
        return;
    }
    const QVariantMap fields = reply.toMap();
    if (!isTrue(fields.value(QStringLiteral("success")))) {
        Console::line(QStringLiteral("Couldn't check version"));
        return;
    }
    if (isTrue(fields.value(QStringLiteral("alertNew"))))
        _announce(fields);
}

void LXVersionChecker::_announce(const QVariantMap &reply)
{
    const QUrl productPage = webPage(reply.value(QStringLiteral("productPage")));
    const QString message =
        QCoreApplication::translate("LXVersionChecker",
                                    "A new version of %1 is available. Please visit the website to download an updated "
                                    "copy.\n\nYour version: %2\nCurrent Version: %3")
            .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                 reply.value(QStringLiteral("currentVersion")).toString());
    AlertPanel::runWhenNoneOpen({QCoreApplication::translate("LXVersionChecker", "New Version"), message,
                                 QCoreApplication::translate("LXVersionChecker", "Cancel"),
                                 productPage.isValid()
                                     ? QCoreApplication::translate("LXVersionChecker", "Visit Website")
                                     : QString(),
                                 QString()},
                                [productPage](AlertPanel::Response response) {
                                    if (response == AlertPanel::Response::Alternate)
                                        UrlOpener::open(productPage);
                                });
}
