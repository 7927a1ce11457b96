#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <memory>
#include <stdexcept>

class QPdfDocument;

// One piece of the dashboard's artwork rendered from page 1 of its PDF resource, kept until it is
// needed at another size, pixel ratio or variant.
struct CWCachedPDFLayer {
    QString name; // resource name without extension, e.g. "plug"
    QSizeF size;  // points the layer was rendered at
    qreal devicePixelRatio = 0.0;
    std::shared_ptr<QPdfDocument> document;
    QImage layer; // null: none rendered yet
    // What else the rendering depends on: the graphics mode for "mbp", the snapshot's hash for
    // "batt", 0 for everything else.
    quint64 variant = 0;

    bool hasLayer(const QSizeF &wanted, qreal ratio, quint64 wantedVariant) const
    {
        return !layer.isNull() && size == wanted && devicePixelRatio == ratio && variant == wantedVariant;
    }
};

// Thrown when an entry that does not exist is removed from the cache; named "exc".
class CWCachedPDFLayerIndexError : public std::out_of_range {
public:
    CWCachedPDFLayerIndexError()
        : std::out_of_range("_freeCachedPDFLayerAtIndex:")
    {
    }
    static const char *name() { return "exc"; }
};
