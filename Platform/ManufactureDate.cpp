#include "ManufactureDate.h"

#include <QTimeZone>

namespace ManufactureDate {
namespace {
constexpr qint64 kBaseYear = 1980;
constexpr qint64 kLastYear = kBaseYear + 127; // seven bits of years
} // namespace

Fields unpack(quint16 code)
{
    return {unsigned(code >> 9), unsigned((code >> 5) & 0xF), unsigned(code & 0x1F)};
}

std::optional<qint64> pack(qint64 year, qint64 month, qint64 day)
{
    if (year < kBaseYear || year > kLastYear || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    return ((year - kBaseYear) << 9) | (month << 5) | day;
}

QDateTime midnightUtc(quint16 code)
{
    const Fields fields = unpack(code);
    return QDateTime(QDate(int(kBaseYear + fields.yearsSince1980), int(fields.month), int(fields.day)), QTime(0, 0),
                     QTimeZone::utc());
}

} // namespace ManufactureDate
