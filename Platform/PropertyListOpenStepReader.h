#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace PropertyListParser {

// An OpenStep text property list in UTF-8, where every scalar is a string; on failure a null
// QVariant, with the reason in error.
QVariant parseOpenStep(const QByteArray &data, QString &error);

} // namespace PropertyListParser
