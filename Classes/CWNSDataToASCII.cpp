#include "CWNSDataToASCII.h"

#include <QByteArray>

void CWNSDataToASCII::initialize()
{
    registerOnce<CWNSDataToASCII>(QStringLiteral("CWNSDataToASCII"));
}

// Bytes beyond ASCII decode as Latin-1, so every byte survives a round trip.
QVariant CWNSDataToASCII::transformedValue(const QVariant &value) const
{
    if (value.typeId() != QMetaType::QByteArray)
        return {};
    return QString::fromLatin1(value.toByteArray());
}

QVariant CWNSDataToASCII::reverseTransformedValue(const QVariant &value) const
{
    if (value.typeId() != QMetaType::QString)
        return {};
    return value.toString().toLatin1();
}
