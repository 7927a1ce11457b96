#pragma once

#include "UrlConnection.h"

#include <QByteArray>
#include <QVariantMap>

// Asks the statistics server once whether a newer version exists and, if so, offers to open the
// product's web page.
class LXVersionChecker {
public:
    static constexpr double timeoutInterval = 60.0; // s, as long as a plain web request is given

    void checkVersion();
    // The reply's bytes, once it has arrived.
    const QByteArray &versionData() const { return _versionData; }

private:
    void _finished(const UrlConnection::Result &result);
    void _announce(const QVariantMap &reply);

    QByteArray _versionData;
    UrlConnection _connection;
};
