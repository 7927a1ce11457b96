#include "LXAdditions.h"

#include <utility>

namespace LXAdditions {

QString urlEncode(const QString &text)
{
    // The codes hold only "%", digits and capitals, so no replacement feeds a later one.
    static const std::pair<QChar, QLatin1String> codes[] = {
        {u';', QLatin1String("%3B")}, {u'/', QLatin1String("%2F")}, {u'?', QLatin1String("%3F")},
        {u':', QLatin1String("%3A")}, {u'@', QLatin1String("%40")}, {u'&', QLatin1String("%26")},
        {u'=', QLatin1String("%3D")}, {u'+', QLatin1String("%2B")}, {u'$', QLatin1String("%24")},
        {u',', QLatin1String("%2C")}, {u'[', QLatin1String("%5B")}, {u']', QLatin1String("%5D")},
        {u'#', QLatin1String("%23")}, {u'!', QLatin1String("%21")}, {u'\'', QLatin1String("%27")},
        {u'(', QLatin1String("%28")}, {u')', QLatin1String("%29")}, {u'*', QLatin1String("%2A")},
    };
    QString encoded = text;
    for (const auto &[character, code] : codes)
        encoded.replace(character, code);
    return encoded;
}

} // namespace LXAdditions
