#pragma once

#include <QColor>
#include <QColorSpace>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <memory>

class QPdfDocument;

// Saves a painter's state and restores it when the scope ends, so no early return can leak a
// transform, clip or composition mode.
class CWPainterStateGuard {
public:
    explicit CWPainterStateGuard(QPainter &painter)
        : _painter(painter)
    {
        _painter.save();
    }
    ~CWPainterStateGuard() { _painter.restore(); }
    CWPainterStateGuard(const CWPainterStateGuard &) = delete;
    CWPainterStateGuard &operator=(const CWPainterStateGuard &) = delete;

private:
    QPainter &_painter;
};

// Stateless drawing helpers shared by every view.
//
// Views keep the design's y-up geometry: they call flipToYUp() once at the start of painting and
// use drawImage() / drawText() below, which turn images and text the right way up again locally.
// Lengths are logical pixels (the design's points); font sizes too.
class CWUtil {
public:
    CWUtil() = delete;

    // Colours written as "rrggbb" or "rrggbbaa" (hex digits, either case). Pieces that are not hex
    // parse like strtol (a partial or zero value); other lengths never read past the string's end.
    static void hexColor(const char *hex, double rgba[4]);
    static QColor hexColorToCGColor(const char *hex);
    // The device-RGB colour space every view draws in (the same object on every call).
    static const QColorSpace &sharedCS();
    // The 256 x 256 grain texture tiled behind gradients; a null image (and a console line) when it
    // cannot be loaded, retried on the next call.
    static QImage noiseImage();
    static qreal scaleFactor() { return 1.0; }

    // Registers the bundled Exo typefaces with the font database; safe to call more than once.
    // Returns false (after a console line per file) when a typeface could not be registered.
    static bool registerAppFonts();
    // Exo Light / Exo Bold at `size` logical pixels; the system fonts when Exo is not available.
    static QFont appFontOfSize(qreal size);
    static QFont boldAppFontOfSize(qreal size);
    static QFont systemFontOfSize(qreal size);
    static QFont boldSystemFontOfSize(qreal size);

    // Resources compiled into the program, by name without extension ("noise-256", "icons"). A null
    // image when it cannot be read; error, when given, then says why.
    static QImage imageResource(const QString &name, QString *error = nullptr);
    // The PDF resource `name`.pdf, or null (after a console line) when it cannot be opened.
    static std::shared_ptr<QPdfDocument> pdfResource(const QString &name);

    // Moves the origin to the bottom-left corner of a surface `height` high and makes y grow upwards.
    static void flipToYUp(QPainter &painter, qreal height);
    // Draw an image or text into `rect` (y-up coordinates) the right way up.
    static void drawImage(QPainter &painter, const QRectF &rect, const QImage &image);
    static void drawText(QPainter &painter, const QRectF &rect, int flags, const QString &text);
    // The 256 x 256 squares that tile the grain over an area anchored at (0, 0).
    static QList<QRectF> noiseTiles(const QSizeF &area);
    // Multiplies the grain over the area at the given opacity; does nothing without a texture.
    static void drawNoise(QPainter &painter, const QImage &noise, const QSizeF &area, qreal alpha);
    // The same over an opaque picture, from a grey texture, several times faster.
    static void drawNoiseOnOpaque(QPainter &painter, const QImage &noise, const QSizeF &area, qreal alpha);
};

// A rectangle whose corners selected by `cornerMask` are rounded with `radius`, in y-up
// coordinates: 1 (minX, maxY), 2 (maxX, maxY), 4 (maxX, minY), 8 (minX, minY); 15 rounds all.
// The radius is capped at the larger half side, not the smaller.
QPainterPath CWCreateRoundedRectPath(int cornerMask, const QRectF &rect, qreal radius);

// `color` (taken as device RGB) expressed as RGB in `colorSpace`.
QColor CWCreateCGColorFromNSColor(const QColorSpace &colorSpace, const QColor &color);
