#include "ModelNames.h"

#include <QHash>

QString friendlyModelName(const QString &modelCode)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("MacBook8,1"), QStringLiteral("MacBook (Retina, 12-inch, Early 2015)")},
        {QStringLiteral("MacBookAir6,2"), QStringLiteral("MacBook Air (13-inch, Mid 2013)")},
        {QStringLiteral("MacBookAir7,2"), QStringLiteral("MacBook Air (13-inch, Early 2015)")},
        {QStringLiteral("MacBookPro8,1"), QStringLiteral("MacBook Pro (13-inch, Early 2011)")},
        {QStringLiteral("MacBookPro8,2"), QStringLiteral("MacBook Pro (15-inch, Early 2011)")},
        {QStringLiteral("MacBookPro9,2"), QStringLiteral("MacBook Pro (13-inch, Mid 2012)")},
        {QStringLiteral("MacBookPro10,1"), QStringLiteral("MacBook Pro (Retina, 15-inch, Mid 2012)")},
        {QStringLiteral("MacBookPro11,1"), QStringLiteral("MacBook Pro (Retina, 13-inch, Late 2013)")},
        {QStringLiteral("MacBookPro11,4"), QStringLiteral("MacBook Pro (Retina, 15-inch, Mid 2015)")},
        {QStringLiteral("MacBookPro12,1"), QStringLiteral("MacBook Pro (Retina, 13-inch, Early 2015)")},
    };
    return names.value(modelCode, modelCode);
}
