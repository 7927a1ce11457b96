#pragma once

#include <QString>
#include <QVariant>
#include <memory>

// Converts a value shown by a control to another form and, when allowed, back. Bindings find
// transformers by name in the registry below.
class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;

    virtual QVariant transformedValue(const QVariant &value) const = 0;
    virtual bool allowsReverseTransformation() const { return false; }
    // Only called when reverse transformation is allowed.
    virtual QVariant reverseTransformedValue(const QVariant &value) const { return value; }

    // Replaces any transformer registered under the name.
    static void setValueTransformer(std::unique_ptr<ValueTransformer> transformer, const QString &name);
    // The transformer registered under the name, or null.
    static ValueTransformer *valueTransformerForName(const QString &name);

protected:
    // Registers one instance of Transformer under the name on the first call only.
    template <typename Transformer>
    static void registerOnce(const QString &name)
    {
        static const bool registered = (setValueTransformer(std::make_unique<Transformer>(), name), true);
        Q_UNUSED(registered);
    }
};
