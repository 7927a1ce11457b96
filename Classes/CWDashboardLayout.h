#pragma once

#include <QRectF>
#include <QSizeF>

// Where the dashboard's pieces go, in the view's y-up coordinates, all proportional to the view's
// size. Every frame is rounded outward to whole points.
struct CWDashboardLayout {
    QRectF battFrame;
    QRectF compLyrFrame;
    QRectF plugFrame;

    static CWDashboardLayout forSize(const QSizeF &viewSize);
    // One fifth of the plug's size, centred under the middle of the plug.
    static QRectF plugAdornmentFrame(const QRectF &plugFrame);
    // The power-flow label, centred horizontally just below the middle of the view.
    static QRectF battDrawStringFrame(const QSizeF &viewSize);

    // The smallest rectangle with whole-number edges that contains `rect`.
    static QRectF integral(const QRectF &rect);
    // The smallest rectangle containing both; an empty rectangle joins nothing.
    static QRectF joined(const QRectF &region, const QRectF &rect);
};
