#pragma once

#include "ValueTransformer.h"

// Shows raw data as text and turns edited text back into data.
class CWNSDataToASCII : public ValueTransformer {
public:
    // Registers the shared instance under "CWNSDataToASCII"; later calls do nothing.
    static void initialize();

    QVariant transformedValue(const QVariant &value) const override;
    bool allowsReverseTransformation() const override { return true; }
    QVariant reverseTransformedValue(const QVariant &value) const override;
};
