#include "PropertyListParser.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QtEndian>
#include <bit>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

namespace PropertyListParser {
namespace {

// ---- XML -------------------------------------------------------------------------------------

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

    QVariant document(QString *error)
    {
        QVariant value;
        if (_xml.readNextStartElement())
            value = _xml.name() == u"plist" ? _plistContent() : _value(1);
        while (!_xml.hasError() && !_xml.atEnd())
            _xml.readNext(); // the rest must still be well-formed
        if (_xml.hasError()) {
            *error = QStringLiteral("XML property list: %1 (line %2)").arg(_xml.errorString()).arg(_xml.lineNumber());
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

// ---- OpenStep text ---------------------------------------------------------------------------

bool isUnquotedCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '$'
        || u == '/' || u == ':' || u == '.' || u == '-';
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= '0' && u <= '9')
        value = u - '0';
    else if (u >= 'a' && u <= 'f')
        value = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        value = u - 'A' + 10;
    return value < base ? value : -1;
}

class OpenStepReader {
public:
    explicit OpenStepReader(const QString &text)
        : _text(text)
    {
    }

    QVariant document(QString *error)
    {
        _skipSpace();
        const QVariant value = _atEnd() ? _fail(QStringLiteral("no value")) : _value(1);
        _skipSpace();
        if (!_failed() && !_atEnd())
            _fail(QStringLiteral("unexpected text after the value"));
        if (_failed()) {
            *error = _error;
            return {};
        }
        return value;
    }

private:
    bool _atEnd() const { return _pos >= _text.size(); }
    QChar _peek() const { return _text.at(_pos); }
    bool _failed() const { return !_error.isEmpty(); }

    QVariant _fail(const QString &message)
    {
        if (!_failed()) {
            const qsizetype line = 1 + QStringView(_text).left(std::min(_pos, _text.size())).count(u'\n');
            _error = QStringLiteral("OpenStep property list: %1 (line %2)").arg(message).arg(line);
        }
        _pos = _text.size(); // nothing more is read after a failure
        return {};
    }

    // White space, // line comments and /* block comments */.
    void _skipSpace()
    {
        while (!_atEnd()) {
            if (_peek().isSpace()) {
                ++_pos;
                continue;
            }
            if (_peek() != u'/' || _pos + 1 >= _text.size())
                return;
            const QChar next = _text.at(_pos + 1);
            if (next == u'/') {
                const qsizetype end = _text.indexOf(u'\n', _pos);
                _pos = end < 0 ? _text.size() : end + 1;
            } else if (next == u'*') {
                const qsizetype end = _text.indexOf(QStringLiteral("*/"), _pos + 2);
                if (end < 0) {
                    _fail(QStringLiteral("unterminated comment"));
                    return;
                }
                _pos = end + 2;
            } else {
                return;
            }
        }
    }

    // Skips space, then consumes c if it comes next.
    bool _accept(QChar c)
    {
        _skipSpace();
        if (_atEnd() || _peek() != c)
            return false;
        ++_pos;
        return true;
    }

    QVariant _value(int depth)
    {
        if (depth > maximumDepth)
            return _fail(QStringLiteral("nesting too deep"));
        _skipSpace();
        if (_atEnd())
            return _fail(QStringLiteral("unexpected end of text"));
        const QChar c = _peek();
        if (c == u'{')
            return _dict(depth);
        if (c == u'(')
            return _array(depth);
        if (c == u'<')
            return _data();
        return _string();
    }

    QVariant _string()
    {
        if (_atEnd())
            return _fail(QStringLiteral("unexpected end of text"));
        const QChar c = _peek();
        if (c == u'"' || c == u'\'')
            return _quoted();
        if (isUnquotedCharacter(c))
            return _unquoted();
        return _fail(QStringLiteral("unexpected character '%1'").arg(c));
    }

    QVariant _dict(int depth)
    {
        ++_pos; // '{'
        QVariantMap map;
        while (!_accept(u'}')) {
            if (_failed())
                return {};
            if (_atEnd())
                return _fail(QStringLiteral("unterminated dictionary"));
            const QString key = _string().toString();
            if (_failed())
                return {};
            if (!_accept(u'='))
                return _fail(QStringLiteral("missing '=' after key \"%1\"").arg(key));
            const QVariant value = _value(depth + 1);
            if (_failed())
                return {};
            if (!_accept(u';'))
                return _fail(QStringLiteral("missing ';' after the value of \"%1\"").arg(key));
            map.insert(key, value);
        }
        return _failed() ? QVariant() : QVariant(map);
    }

    QVariant _array(int depth)
    {
        ++_pos; // '('
        QVariantList list;
        while (!_accept(u')')) {
            if (_failed())
                return {};
            if (_atEnd())
                return _fail(QStringLiteral("unterminated array"));
            list.append(_value(depth + 1));
            if (_failed())
                return {};
            if (!_accept(u',')) {
                if (_accept(u')'))
                    break;
                return _fail(_atEnd() ? QStringLiteral("unterminated array") : QStringLiteral("missing ',' in array"));
            }
        }
        return _failed() ? QVariant() : QVariant(list);
    }

    QVariant _data()
    {
        ++_pos; // '<'
        QByteArray hex;
        for (;;) {
            if (_atEnd())
                return _fail(QStringLiteral("unterminated data"));
            const QChar c = _text.at(_pos++);
            if (c == u'>')
                break;
            if (c.isSpace())
                continue;
            if (digitValue(c, 16) < 0)
                return _fail(QStringLiteral("invalid character '%1' in data").arg(c));
            hex += char(c.unicode());
        }
        if (hex.size() % 2)
            return _fail(QStringLiteral("odd number of hex digits in data"));
        return QByteArray::fromHex(hex);
    }

    QVariant _quoted()
    {
        const QChar quote = _text.at(_pos++);
        QString result;
        for (;;) {
            if (_atEnd())
                return _fail(QStringLiteral("unterminated string"));
            const QChar c = _text.at(_pos++);
            if (c == quote)
                return result;
            if (c != u'\\') {
                result += c;
                continue;
            }
            if (_atEnd())
                return _fail(QStringLiteral("unterminated string"));
            result += _escaped();
        }
    }

    // The character after a backslash: C escapes, \U and up to four hex digits, up to three octal
    // digits (read as Latin-1), anything else stands for itself.
    QChar _escaped()
    {
        const QChar c = _text.at(_pos++);
        switch (c.unicode()) {
        case 'a': return QChar(0x07);
        case 'b': return QChar(0x08);
        case 'f': return QChar(0x0c);
        case 'n': return QChar(0x0a);
        case 'r': return QChar(0x0d);
        case 't': return QChar(0x09);
        case 'v': return QChar(0x0b);
        case 'U': return QChar(_number(16, 4));
        default:
            if (digitValue(c, 8) < 0)
                return c;
            --_pos;
            return QChar(_number(8, 3));
        }
    }

    char16_t _number(int base, int maxDigits)
    {
        char16_t value = 0;
        for (int i = 0; i < maxDigits && !_atEnd(); ++i) {
            const int digit = digitValue(_peek(), base);
            if (digit < 0)
                break;
            value = char16_t(value * base + digit);
            ++_pos;
        }
        return value;
    }

    QVariant _unquoted()
    {
        const qsizetype start = _pos;
        while (!_atEnd() && isUnquotedCharacter(_peek()))
            ++_pos;
        return _text.mid(start, _pos - start);
    }

    const QString &_text;
    qsizetype _pos = 0;
    QString _error;
};

// ---- Binary (bplist00) -----------------------------------------------------------------------

// Layout: the 8-byte header, the objects, a table of object offsets, a 32-byte trailer that gives
// the sizes of offsets and object references, the object count, the top object and where the
// table starts. Integers are big-endian.
class BinaryReader {
public:
    explicit BinaryReader(const QByteArray &data)
        : _data(data)
    {
    }

    QVariant document(QString *error)
    {
        const QVariant value = _readTrailer() ? _object(_topObject, 1) : QVariant();
        if (!_error.isEmpty()) {
            *error = _error;
            return {};
        }
        return value;
    }

private:
    static constexpr qsizetype headerSize = 8;
    static constexpr qsizetype trailerSize = 32;
    enum class State : quint8 { Unread, Reading, Done };

    QVariant _fail(const QString &message)
    {
        if (_error.isEmpty())
            _error = QStringLiteral("binary property list: %1").arg(message);
        return {};
    }

    bool _refuse(const QString &message)
    {
        _fail(message);
        return false;
    }

    // Big-endian unsigned integer of 1 to 8 bytes; the caller has checked the range.
    quint64 _unsigned(qsizetype pos, int size) const
    {
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = value << 8 | quint8(_data[pos + i]);
        return value;
    }

    // Whether count items of itemSize bytes from pos stay inside the object area.
    bool _fits(qsizetype pos, quint64 count, quint64 itemSize) const
    {
        return pos <= _tableOffset && count <= quint64(_tableOffset - pos) / itemSize;
    }

    bool _readTrailer()
    {
        if (!_data.startsWith("bplist00"))
            return _refuse(QStringLiteral("unsupported version"));
        const qsizetype size = _data.size();
        if (size < headerSize + 1 + trailerSize)
            return _refuse(QStringLiteral("too short"));
        const qsizetype trailer = size - trailerSize;
        _offsetSize = quint8(_data[trailer + 6]);
        _refSize = quint8(_data[trailer + 7]);
        const quint64 count = _unsigned(trailer + 8, 8);
        const quint64 top = _unsigned(trailer + 16, 8);
        const quint64 table = _unsigned(trailer + 24, 8);
        if (_offsetSize < 1 || _offsetSize > 8 || _refSize < 1 || _refSize > 8)
            return _refuse(QStringLiteral("invalid offset or reference size"));
        if (table <= quint64(headerSize) || table > quint64(trailer) || count == 0
            || count > (quint64(trailer) - table) / _offsetSize)
            return _refuse(QStringLiteral("offset table out of range"));
        if (top >= count)
            return _refuse(QStringLiteral("top object out of range"));
        _tableOffset = qsizetype(table);
        _objectCount = count;
        _topObject = top;
        _states.assign(count, State::Unread);
        return true;
    }

    // Each object is read once: shared references reuse the value (so a chain of doubly referenced
    // arrays cannot blow up), and a reference back to an object being read is a cycle.
    QVariant _object(quint64 ref, int depth)
    {
        if (ref >= _objectCount)
            return _fail(QStringLiteral("object reference %1 out of range").arg(ref));
        if (depth > maximumDepth)
            return _fail(QStringLiteral("nesting too deep"));
        if (_states[ref] == State::Done)
            return _values[ref];
        if (_states[ref] == State::Reading)
            return _fail(QStringLiteral("object %1 contains itself").arg(ref));
        _states[ref] = State::Reading;
        const quint64 offset = _unsigned(_tableOffset + qsizetype(ref) * _offsetSize, _offsetSize);
        if (offset < quint64(headerSize) || offset >= quint64(_tableOffset))
            return _fail(QStringLiteral("offset of object %1 out of range").arg(ref));
        const QVariant value = _read(qsizetype(offset), depth);
        if (!_error.isEmpty())
            return {};
        _states[ref] = State::Done;
        _values[ref] = value;
        return value;
    }

    QVariant _read(qsizetype offset, int depth)
    {
        const quint8 marker = quint8(_data[offset]);
        const int info = marker & 0x0f;
        qsizetype pos = offset + 1;
        switch (marker >> 4) {
        case 0x0:
            if (info == 0x8 || info == 0x9)
                return info == 0x9;
            break;
        case 0x1:
            return _integer(pos, info);
        case 0x2:
            return _real(pos, info);
        case 0x3:
            if (info == 0x3)
                return _date(pos);
            break;
        case 0x4:
        case 0x5:
        case 0x6:
        case 0xa:
        case 0xc:
        case 0xd: {
            const auto length = _length(pos, info);
            return length ? _sized(marker >> 4, pos, *length, depth) : QVariant();
        }
        default:
            break;
        }
        return _fail(QStringLiteral("unsupported object type 0x%1").arg(marker, 2, 16, QLatin1Char('0')));
    }

    // The length is in the marker's low nibble, or (0xF) in the integer object that follows.
    std::optional<quint64> _length(qsizetype &pos, int info)
    {
        if (info != 0x0f)
            return quint64(info);
        if (!_fits(pos, 1, 1))
            {
            _fail(QStringLiteral("length out of range"));
            return std::nullopt;
        }
        const quint8 marker = quint8(_data[pos]);
        const int size = 1 << (marker & 0x0f);
        if (marker >> 4 != 0x1 || size > 8 || !_fits(pos + 1, 1, size)) {
            _fail(QStringLiteral("invalid length"));
            return std::nullopt;
        }
        const quint64 length = _unsigned(pos + 1, size);
        pos += 1 + size;
        return length;
    }

    QVariant _sized(int kind, qsizetype pos, quint64 length, int depth)
    {
        switch (kind) {
        case 0x4:
            if (!_fits(pos, length, 1))
                break;
            return _data.mid(pos, qsizetype(length));
        case 0x5:
            if (!_fits(pos, length, 1))
                break;
            return QString::fromLatin1(_data.constData() + pos, qsizetype(length));
        case 0x6: {
            if (!_fits(pos, length, 2))
                break;
            QString text(qsizetype(length), Qt::Uninitialized);
            for (qsizetype i = 0; i < text.size(); ++i)
                text[i] = QChar(char16_t(_unsigned(pos + 2 * i, 2)));
            return text;
        }
        case 0xa:
        case 0xc: // a set reads as an array
            if (!_fits(pos, length, _refSize))
                break;
            return _array(pos, qsizetype(length), depth);
        case 0xd:
            if (!_fits(pos, length, 2 * quint64(_refSize)))
                break;
            return _dict(pos, qsizetype(length), depth);
        }
        return _fail(QStringLiteral("object at %1 runs past the object area").arg(pos));
    }

    QVariant _integer(qsizetype pos, int info)
    {
        if (info > 4 || !_fits(pos, 1, 1 << info))
            return _fail(QStringLiteral("invalid integer"));
        if (info == 4) {
            // 128-bit: only values that fit 64 bits signed are taken.
            const quint64 high = _unsigned(pos, 8);
            const qint64 low = qint64(_unsigned(pos + 8, 8));
            if (high != (low < 0 ? ~quint64(0) : 0))
                return _fail(QStringLiteral("integer out of range"));
            return low;
        }
        // 1, 2 and 4 bytes are unsigned, 8 bytes two's complement.
        return qint64(_unsigned(pos, 1 << info));
    }

    QVariant _real(qsizetype pos, int info)
    {
        if (info == 2 && _fits(pos, 1, 4))
            return double(std::bit_cast<float>(quint32(_unsigned(pos, 4))));
        if (info == 3 && _fits(pos, 1, 8))
            return std::bit_cast<double>(_unsigned(pos, 8));
        return _fail(QStringLiteral("invalid real"));
    }

    QVariant _date(qsizetype pos)
    {
        static const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        if (!_fits(pos, 1, 8))
            return _fail(QStringLiteral("invalid date"));
        const double seconds = std::bit_cast<double>(_unsigned(pos, 8)); // since 2001-01-01 UTC
        if (!std::isfinite(seconds) || std::abs(seconds) > 1e12)
            return _fail(QStringLiteral("date out of range"));
        return epoch.addMSecs(std::llround(seconds * 1000));
    }

    QVariant _array(qsizetype pos, qsizetype count, int depth)
    {
        QVariantList list;
        list.reserve(count);
        for (qsizetype i = 0; i < count; ++i) {
            list.append(_object(_unsigned(pos + i * _refSize, _refSize), depth + 1));
            if (!_error.isEmpty())
                return {};
        }
        return list;
    }

    QVariant _dict(qsizetype pos, qsizetype count, int depth)
    {
        QVariantMap map;
        const qsizetype values = pos + count * _refSize;
        for (qsizetype i = 0; i < count; ++i) {
            const QVariant key = _object(_unsigned(pos + i * _refSize, _refSize), depth + 1);
            if (!_error.isEmpty())
                return {};
            if (key.typeId() != QMetaType::QString)
                return _fail(QStringLiteral("dictionary key is not a string"));
            const QVariant value = _object(_unsigned(values + i * _refSize, _refSize), depth + 1);
            if (!_error.isEmpty())
                return {};
            map.insert(key.toString(), value);
        }
        return map;
    }

    const QByteArray &_data;
    int _offsetSize = 0;
    int _refSize = 0;
    qsizetype _tableOffset = 0;
    quint64 _objectCount = 0;
    quint64 _topObject = 0;
    std::vector<State> _states;
    std::unordered_map<quint64, QVariant> _values; // only objects actually read
    QString _error;
};

// ---- Form detection --------------------------------------------------------------------------

bool looksLikeXml(const QByteArray &data)
{
    qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos])))
        ++pos;
    const QByteArrayView rest = QByteArrayView(data).sliced(pos);
    return rest.startsWith("<?") || rest.startsWith("<!") || rest.startsWith("<plist");
}

QVariant parseOpenStep(const QByteArray &data, QString *error)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        *error = QStringLiteral("OpenStep property list: text is not UTF-8");
        return {};
    }
    return OpenStepReader(text).document(error);
}

} // namespace

QVariant parse(const QByteArray &data, QString *error)
{
    QString reason;
    QVariant value;
    if (data.startsWith("bplist"))
        value = BinaryReader(data).document(&reason);
    else if (looksLikeXml(data))
        value = XmlReader(data).document(&reason);
    else
        value = parseOpenStep(data, &reason);
    if (error)
        *error = reason;
    return value;
}

} // namespace PropertyListParser
