#include "PropertyListBinaryReader.h"

#include "PropertyListParser.h"

#include <QDateTime>
#include <bit>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

namespace PropertyListParser {
namespace {

// Layout: the 8-byte header, the objects, a table of object offsets, a 32-byte trailer that gives
// the sizes of offsets and object references, the object count, the top object and where the
// table starts. Integers are big-endian.
class BinaryReader {
public:
    explicit BinaryReader(const QByteArray &data)
        : _data(data)
    {
    }

    QVariant document(QString &error)
    {
        const QVariant value = _readTrailer() ? _object(_topObject, 1) : QVariant();
        if (!_error.isEmpty()) {
            error = _error;
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
        if (!_fits(pos, 1, 1)) {
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

} // namespace

QVariant parseBinary(const QByteArray &data, QString &error)
{
    return BinaryReader(data).document(error);
}

} // namespace PropertyListParser
