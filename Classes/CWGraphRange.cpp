#include "CWGraphRange.h"

#include <QRegularExpression>

double CWGraphRange::secondsPerUnit(qint64 tag)
{
    switch (tag) {
    case Minutes:
        return 60.0;
    case Hours:
        return 3600.0;
    case Days:
        return 86400.0;
    default:
        return 0.0;
    }
}

std::optional<CWGraphRange> CWGraphRange::fromText(const QString &text, const QTimeZone &zone)
{
    static const QRegularExpression recentForm(QStringLiteral("^([0-9]{1,6})([mhdy])$"));
    static const QRegularExpression fixedForm(
        QStringLiteral("^([0-9]{4}-[0-9]{2}-[0-9]{2})\\.\\.([0-9]{4}-[0-9]{2}-[0-9]{2})$"));
    CWGraphRange range;
    if (const QRegularExpressionMatch match = recentForm.match(text); match.hasMatch()) {
        range.count = match.captured(1).toInt();
        const QChar unit = match.captured(2).at(0);
        range.unit = unit == QLatin1Char('m') ? Minutes : unit == QLatin1Char('h') ? Hours : Days;
        if (unit == QLatin1Char('y'))
            range.count *= 365;
        if (range.count < 1)
            return std::nullopt;
        return range;
    }
    const QRegularExpressionMatch match = fixedForm.match(text);
    const QDate from = QDate::fromString(match.captured(1), Qt::ISODate);
    const QDate to = QDate::fromString(match.captured(2), Qt::ISODate);
    if (!match.hasMatch() || !from.isValid() || !to.isValid() || to < from)
        return std::nullopt;
    range.recent = false;
    range.from = QDateTime(from, QTime(0, 0), zone);
    range.to = QDateTime(to.addDays(1), QTime(0, 0), zone);
    return range;
}
