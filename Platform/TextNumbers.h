#pragma once

#include <QString>
#include <optional>

namespace TextNumbers {

// The decimal integer that starts the text, after white space and an optional sign, whatever
// follows it ("42\n" and "42 machines" give 42); nullopt when there is none or it does not fit
// 64 bits. Replies and files written by others are read this way.
std::optional<qint64> leadingInteger(const QString &text);

} // namespace TextNumbers
