#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QStringList>

class QPainter;
class QPdfDocument;

// Drawing routines of the dashboard's pieces, each into a painter set up y-up or into a new image
// at a device pixel ratio. They hold no state; the view decides what to redraw and keeps the results.
class CWDashboardArtwork {
public:
    CWDashboardArtwork() = delete;

    // Where the liquid goes inside a cylinder's artwork, as fractions of its width (x) and height (y).
    struct Cylinder {
        double left, right, bottom, top, ellipseHeight;
        bool cell;
    };
    static constexpr Cylinder kBatteryCylinder{0.283, 0.717, 0.12, 0.867, 0.1, false};
    static constexpr Cylinder kCellCylinder{0.072, 0.928, 0.1, 0.875, 0.2, true};

    // Page 1 of `document` rendered to fill `size` points at `devicePixelRatio`; null without a document.
    static QImage pageImage(QPdfDocument *document, const QSizeF &size, qreal devicePixelRatio);
    // An empty transparent image of `size` points, ready for a painter.
    static QImage newLayer(const QSizeF &size, qreal devicePixelRatio);

    // The page's background: a grey glow rising from below the bottom edge, with a faint grain.
    static QImage background(const QSizeF &size, qreal devicePixelRatio);
    // The power-flow label as embossed text spanning the whole width of `size`.
    static QImage embossedLabel(const QString &text, const QSizeF &size, qreal devicePixelRatio);
    // The computer's artwork with the graphics mode on its screen.
    static QImage computer(QPdfDocument *document, bool accelGraphics, const QSizeF &size, qreal devicePixelRatio);

    // One cylinder of liquid at `charge` (0.0 to 1.0) under its artwork, stretched into `rect`.
    static void drawCylinder(QPainter &painter, double charge, const QRectF &rect, QPdfDocument *artwork,
                             const Cylinder &cylinder);
    // Titles ending 4 points left of the origin, values starting 4 points right of it, one line
    // each going down. Nothing is drawn (and the mismatch logged) when the counts differ.
    static void drawLabels(QPainter &painter, const QStringList &titles, const QStringList &values, double size);
    // Text with a hard shadow one point below it.
    static void drawShadowedText(QPainter &painter, const QRectF &rect, int flags, const QString &text,
                                 const QColor &color, const QColor &shadow);
};
