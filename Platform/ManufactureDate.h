#pragma once

#include <QDateTime>
#include <optional>

// The battery's ManufactureDate, a 16-bit code: the day in bits 0-4, the month in bits 5-8 and the
// years since 1980 in bits 9-15.
namespace ManufactureDate {

struct Fields {
    unsigned yearsSince1980;
    unsigned month;
    unsigned day;
};

Fields unpack(quint16 code);
// nullopt for a date the code cannot hold.
std::optional<qint64> pack(qint64 year, qint64 month, qint64 day);

// Midnight UTC of the encoded day; invalid when the code holds no date. UTC, because a local
// midnight can fall into a daylight-saving gap, and one day must not mean different instants.
QDateTime midnightUtc(quint16 code);

} // namespace ManufactureDate
