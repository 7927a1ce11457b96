#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace PropertyListParser {

// A binary (bplist00) property list; on failure a null QVariant, with the reason in error.
QVariant parseBinary(const QByteArray &data, QString &error);

} // namespace PropertyListParser
