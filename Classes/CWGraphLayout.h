#pragma once

#include <QPainterPath>
#include <QRectF>
#include <QSizeF>

#include <array>

// The layout constants of the graph view, in points.
struct CWGraphMetrics {
    double pad = 15.0;          // outer margin
    double legendRadius = 25.0; // corner radius of the legend lines
    double graphRadius =
        25.0; // corner radius of the graphs; their inner top and bottom margin; height of the time band
    double legendHSpacing = 15.0;     // step between legend columns; width of a scale strip
    double legendVSpacing = 21.0;     // step between legend rows
    double legendExtentRight = 225.0; // how far right of pad the legend lines run
};

// Where the graph view draws at one size, in y-up coordinates: the two graphs, their outlines and the
// five legends, each an "L" from the top edge down and right to its label, with the strip that
// carries its scale.
struct CWGraphLayout {
    enum Legend { Volts = 0, Temperature, MaxCapacity, ChargeLevel, Draw, LegendCount };

    static CWGraphLayout forSize(const QSizeF &size, const CWGraphMetrics &metrics);
    // Origin rounded down, far edges rounded up.
    static QRectF integralRect(const QRectF &rect);

    QRectF botGraphBounds;
    QRectF topGraphBounds;
    std::array<QPainterPath, LegendCount> legendLines; // line width 2
    std::array<QPainterPath, LegendCount> legendBGs;   // filled only; the power legend's is empty
    QPainterPath botGraphBG;                           // rounded at the bottom, open along the top
    QPainterPath topGraphBG;                           // rounded at the top, open along the bottom
};
