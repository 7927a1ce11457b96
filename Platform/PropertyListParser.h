#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// Reads property lists into values: dictionaries (QVariantMap), arrays (QVariantList), strings
// (QString), data (QByteArray), integers (qint64), reals (double), booleans and dates (QDateTime, UTC).
// Replies from a server may be malformed or hostile: every read is bounds-checked, nesting is limited
// and a failure is a null QVariant with a reason, never a crash.
namespace PropertyListParser {

// Deeper nesting than this is refused, so hostile input cannot exhaust the stack.
inline constexpr int maximumDepth = 256;

// Recognises the form by its first bytes: "bplist00" is binary; "<?", "<!" or "<plist" (after
// white space) is XML; anything else is OpenStep text, where every scalar is a string. On failure
// returns a null QVariant and, when error is given, sets it to a one-line reason.
QVariant parse(const QByteArray &data, QString *error = nullptr);

} // namespace PropertyListParser
