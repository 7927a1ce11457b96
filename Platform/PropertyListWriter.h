#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// Writes property-list values (QVariantMap, QVariantList, QString, QByteArray, integers, doubles,
// bools, QDateTime) as text.
namespace PropertyListWriter {

// Old-style (OpenStep) text, as a dictionary describes itself: "{\n    key = value;\n}".
QString openStepText(const QVariant &value);

// An XML property-list document.
QByteArray xmlData(const QVariant &value);

// A single value as plain text, as the log stores a sample and the statistics server receives it:
// booleans as 1 or 0, arrays with their elements joined by ","; a null string for no value.
QString valueText(const QVariant &value);

} // namespace PropertyListWriter
