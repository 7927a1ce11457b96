#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace PropertyListParser {

// An XML property list; on failure a null QVariant, with the reason in error.
QVariant parseXml(const QByteArray &data, QString &error);

} // namespace PropertyListParser
