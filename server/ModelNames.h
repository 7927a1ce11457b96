#pragma once

#include <QString>

// The name people know a Mac by, for the model identifiers the server knows ("MacBookPro11,1");
// any other identifier is its own name.
QString friendlyModelName(const QString &modelCode);
