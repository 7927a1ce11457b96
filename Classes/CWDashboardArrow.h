#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>

class QPainter;

// One power-flow arrow of the dashboard: a dashed stroke along a route whose dashes travel at a
// speed taken from the measured power, each dash trailed by fainter copies. Lengths are points in
// the view's y-up coordinates.
struct CWDashboardArrow {
    QPainterPath path;
    double phase = 0.0;   // points
    double speed = 0.0;   // points per second in a view 1000 points wide; positive runs along the path
    QList<qreal> lengths; // dash on, dash off
    double width = 0.0;   // stroke width
    quint64 pieces = 4;   // strokes making one dash and its trail
    bool hidden = true;
    bool dirty = false; // its area must be redrawn

    // The three routes for a view of this size whose battery frame is `battFrameWidth` wide.
    struct Routes {
        QPainterPath plugToBatt;
        QPainterPath plugToComp;
        QPainterPath battToComp; // laid out from the computer towards the battery
    };
    static Routes routes(const QSizeF &viewSize, double battFrameWidth);

    // Dash lengths and stroke width shared by all arrows, from the plug-to-battery route.
    static QList<qreal> dashLengths(const QPainterPath &plugToBatt);
    static double lineWidth(const QPainterPath &plugToBatt);

    // Moves the dashes on by `seconds` of travel; `scale` is the view's width over 1000. A visible
    // arrow then needs redrawing.
    void advance(double seconds, double scale);
    // Its area when it needs redrawing: the route's bounds grown by the stroke width; else empty.
    QRectF redrawArea() const;
    // Opacity of one pass: the leading dash is the brightest, whichever way the dashes run.
    double passAlpha(quint64 pass) const;
    void draw(QPainter &painter, const QColor &color) const;
};
