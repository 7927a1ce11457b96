#include "TextNumbers.h"

#include <QRegularExpression>

namespace TextNumbers {

std::optional<qint64> leadingInteger(const QString &text)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?\\d+)"));
    const QRegularExpressionMatch match = leading.match(text);
    bool ok = false;
    const qint64 value = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace TextNumbers
