#include "PropertyListXmlReader.h"

#include "PropertyListParser.h"

#include <QDateTime>
#include <QXmlStreamReader>
#include <limits>
#include <optional>

namespace PropertyListParser {
namespace {

std::optional<double> realFromText(const QString &text)
{
    const QString lower = text.trimmed().toLower();
    // The writer of the format spells infinity out; QString::toDouble only knows "inf".
    if (lower == u"infinity" || lower == u"+infinity")
        return std::numeric_limits<double>::infinity();
    if (lower == u"-infinity")
        return -std::numeric_limits<double>::infinity();
    bool ok = false;
    const double value = lower.toDouble(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<QByteArray> dataFromBase64(const QString &text)
{
    QByteArray base64;
    for (const QChar c : text) {
        if (!c.isSpace())
            base64 += c.toLatin1(); // anything outside Latin-1 becomes '\0', which is not base64
    }
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? std::optional(decoded.decoded) : std::nullopt;
}

class XmlReader {
public:
    explicit XmlReader(const QByteArray &data)
        : _xml(data)
    {
    }

    QVariant document(QString &error)
    {
        QVariant value;
        if (_xml.readNextStartElement())
            value = _xml.name() == u"plist" ? _plistContent() : _value(1);
        while (!_xml.hasError() && !_xml.atEnd())
            _xml.readNext(); // the rest must still be well-formed
        if (_xml.hasError()) {
            error = QStringLiteral("XML property list: %1 (line %2)").arg(_xml.errorString()).arg(_xml.lineNumber());
            return {};
        }
        return value;
    }

private:
    QVariant _fail(const QString &message)
    {
        if (!_xml.hasError())
            _xml.raiseError(message);
        return {};
    }

    QVariant _plistContent()
    {
        if (!_xml.readNextStartElement())
            return _fail(QStringLiteral("empty <plist>"));
        const QVariant value = _value(1);
        if (!_xml.hasError() && _xml.readNextStartElement())
            return _fail(QStringLiteral("more than one value in <plist>"));
        return value;
    }

    QVariant _value(int depth)
    {
        if (depth > maximumDepth)
            return _fail(QStringLiteral("nesting too deep"));
        const QString name = _xml.name().toString();
        if (name == u"dict")
            return _dict(depth);
        if (name == u"array")
            return _array(depth);
        const QString text = _xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (_xml.hasError())
            return {};
        return _scalar(name, text);
    }

    QVariant _scalar(const QString &name, const QString &text)
    {
        if (name == u"string")
            return text;
        if (name == u"true" || name == u"false")
            return name == u"true";
        if (name == u"integer") {
            bool ok = false;
            const qint64 value = text.toLongLong(&ok, 10);
            return ok ? QVariant(value) : _fail(QStringLiteral("invalid or out-of-range integer \"%1\"").arg(text));
        }
        if (name == u"real") {
            const auto value = realFromText(text);
            return value ? QVariant(*value) : _fail(QStringLiteral("invalid real \"%1\"").arg(text));
        }
        if (name == u"date") {
            QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODate);
            if (!date.isValid())
                return _fail(QStringLiteral("invalid date \"%1\"").arg(text));
            if (date.timeSpec() == Qt::LocalTime)
                date.setTimeSpec(Qt::UTC); // dates without a zone are meant as UTC
            return date.toUTC();
        }
        if (name == u"data") {
            const auto data = dataFromBase64(text);
            return data ? QVariant(*data) : _fail(QStringLiteral("invalid base64 data"));
        }
        return _fail(QStringLiteral("unexpected element <%1>").arg(name));
    }

    QVariant _dict(int depth)
    {
        QVariantMap map;
        while (_xml.readNextStartElement()) {
            if (_xml.name() != u"key")
                return _fail(QStringLiteral("expected <key> in <dict>, found <%1>").arg(_xml.name()));
            const QString key = _xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (_xml.hasError())
                return {};
            if (!_xml.readNextStartElement())
                return _fail(QStringLiteral("no value for key \"%1\"").arg(key));
            const QVariant value = _value(depth + 1);
            if (_xml.hasError())
                return {};
            map.insert(key, value);
        }
        return _xml.hasError() ? QVariant() : QVariant(map);
    }

    QVariant _array(int depth)
    {
        QVariantList list;
        while (_xml.readNextStartElement()) {
            list.append(_value(depth + 1));
            if (_xml.hasError())
                return {};
        }
        return _xml.hasError() ? QVariant() : QVariant(list);
    }

    QXmlStreamReader _xml;
};

} // namespace

QVariant parseXml(const QByteArray &data, QString &error)
{
    return XmlReader(data).document(error);
}

} // namespace PropertyListParser
