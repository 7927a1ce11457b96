#include "PropertyListParser.h"

#include "PropertyListBinaryReader.h"
#include "PropertyListOpenStepReader.h"
#include "PropertyListXmlReader.h"

#include <cctype>

namespace PropertyListParser {
namespace {

bool looksLikeXml(const QByteArray &data)
{
    qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos])))
        ++pos;
    const QByteArrayView rest = QByteArrayView(data).sliced(pos);
    return rest.startsWith("<?") || rest.startsWith("<!") || rest.startsWith("<plist");
}

} // namespace

QVariant parse(const QByteArray &data, QString *error)
{
    QString reason;
    QVariant value;
    if (data.startsWith("bplist"))
        value = parseBinary(data, reason);
    else if (looksLikeXml(data))
        value = parseXml(data, reason);
    else
        value = parseOpenStep(data, reason);
    if (error)
        *error = reason;
    return value;
}

} // namespace PropertyListParser
