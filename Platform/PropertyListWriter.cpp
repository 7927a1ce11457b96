#include "PropertyListWriter.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QXmlStreamWriter>

namespace PropertyListWriter {
namespace {

QString quotedIfNeeded(const QString &text)
{
    static const QRegularExpression bare(QStringLiteral("^[A-Za-z0-9_$./:]+$"));
    if (bare.match(text).hasMatch())
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString scalarText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray: {
        const QByteArray hex = value.toByteArray().toHex();
        QString grouped;
        for (qsizetype i = 0; i < hex.size(); i += 8)
            grouped += (i ? QStringLiteral(" ") : QString()) + QString::fromLatin1(hex.mid(i, 8));
        return QLatin1Char('<') + grouped + QLatin1Char('>');
    }
    case QMetaType::QDateTime:
        return quotedIfNeeded(value.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000")));
    case QMetaType::QString:
        return quotedIfNeeded(value.toString());
    default:
        return value.isNull() ? QStringLiteral("\"<null>\"") : value.toString();
    }
}

QString openStep(const QVariant &value, int depth)
{
    const QString inner(4 * (depth + 1), QLatin1Char(' '));
    const QString outer(4 * depth, QLatin1Char(' '));
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        QString text = QStringLiteral("{\n");
        for (auto it = map.begin(); it != map.end(); ++it)
            text += inner + quotedIfNeeded(it.key()) + QStringLiteral(" = ") + openStep(it.value(), depth + 1)
                    + QStringLiteral(";\n");
        return text + outer + QLatin1Char('}');
    }
    if (value.typeId() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        QString text = QStringLiteral("(\n");
        for (qsizetype i = 0; i < list.size(); ++i)
            text += inner + openStep(list.at(i), depth + 1)
                    + (i + 1 < list.size() ? QStringLiteral(",\n") : QStringLiteral("\n"));
        return text + outer + QLatin1Char(')');
    }
    return scalarText(value);
}

void writeXmlValue(QXmlStreamWriter &xml, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        xml.writeStartElement(QStringLiteral("dict"));
        for (auto it = map.begin(); it != map.end(); ++it) {
            xml.writeTextElement(QStringLiteral("key"), it.key());
            writeXmlValue(xml, it.value());
        }
        xml.writeEndElement();
        return;
    }
    case QMetaType::QVariantList:
        xml.writeStartElement(QStringLiteral("array"));
        for (const QVariant &item : value.toList())
            writeXmlValue(xml, item);
        xml.writeEndElement();
        return;
    case QMetaType::Bool:
        xml.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        xml.writeTextElement(QStringLiteral("integer"), value.toString());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        xml.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
        return;
    case QMetaType::QByteArray:
        xml.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
        return;
    case QMetaType::QDateTime:
        xml.writeTextElement(QStringLiteral("date"), value.toDateTime().toUTC().toString(Qt::ISODate));
        return;
    default:
        xml.writeTextElement(QStringLiteral("string"), value.toString());
    }
}

} // namespace

QString openStepText(const QVariant &value)
{
    return openStep(value, 0);
}

QByteArray xmlData(const QVariant &value)
{
    QByteArray data;
    QXmlStreamWriter xml(&data);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(-1); // tabs, as property lists are usually indented
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writeXmlValue(xml, value);
    xml.writeEndElement();
    xml.writeEndDocument();
    return data;
}

QString valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList parts;
        for (const QVariant &element : value.toList())
            parts << valueText(element);
        return parts.join(QLatin1Char(','));
    }
    default:
        return value.toString();
    }
}

} // namespace PropertyListWriter
