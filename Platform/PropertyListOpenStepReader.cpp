#include "PropertyListOpenStepReader.h"

#include "PropertyListParser.h"

#include <QStringDecoder>

namespace PropertyListParser {
namespace {

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

    QVariant document(QString &error)
    {
        _skipSpace();
        const QVariant value = _atEnd() ? _fail(QStringLiteral("no value")) : _value(1);
        _skipSpace();
        if (!_failed() && !_atEnd())
            _fail(QStringLiteral("unexpected text after the value"));
        if (_failed()) {
            error = _error;
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

    // Skips to the next entry of a dictionary or array; false at its closing character, at the end
    // of the text (a failure) or after a failure.
    bool _entryFollows(QChar close, const char *container)
    {
        if (_accept(close) || _failed())
            return false;
        if (_atEnd()) {
            _fail(QStringLiteral("unterminated %1").arg(QLatin1String(container)));
            return false;
        }
        return true;
    }

    QVariant _dict(int depth)
    {
        ++_pos; // '{'
        QVariantMap map;
        while (_entryFollows(u'}', "dictionary")) {
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
        while (_entryFollows(u')', "array")) {
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
        case 'a':
            return QChar(0x07);
        case 'b':
            return QChar(0x08);
        case 'f':
            return QChar(0x0c);
        case 'n':
            return QChar(0x0a);
        case 'r':
            return QChar(0x0d);
        case 't':
            return QChar(0x09);
        case 'v':
            return QChar(0x0b);
        case 'U':
            return QChar(_number(16, 4));
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

} // namespace

QVariant parseOpenStep(const QByteArray &data, QString &error)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        error = QStringLiteral("OpenStep property list: text is not UTF-8");
        return {};
    }
    return OpenStepReader(text).document(error);
}

} // namespace PropertyListParser
