#include "CWBoolToYesNo.h"

void CWBoolToYesNo::initialize()
{
    registerOnce<CWBoolToYesNo>(QStringLiteral("CWBoolToYesNo"));
}

QVariant CWBoolToYesNo::transformedValue(const QVariant &value) const
{
    // Texts such as "1" are not numbers: only a stored number or boolean says yes or no.
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toBool() ? QStringLiteral("Yes") : QStringLiteral("No");
    default:
        return QStringLiteral("?");
    }
}
