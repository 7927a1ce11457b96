#pragma once

#include <QString>

// Text operations for building requests.
namespace LXAdditions {

// Percent-encodes the characters that separate a URL's parts (";/?:@&=+$,[]#!'()*") so the text
// can stand as a query value; everything else, space and "%" included, is left as it is.
QString urlEncode(const QString &text);

} // namespace LXAdditions
