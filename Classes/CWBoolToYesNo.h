#pragma once

#include "ValueTransformer.h"

// Shows a true/false number as "Yes" or "No"; anything that is not a number as "?".
class CWBoolToYesNo : public ValueTransformer {
public:
    // Registers the shared instance under "CWBoolToYesNo"; later calls do nothing.
    static void initialize();

    QVariant transformedValue(const QVariant &value) const override;
};
