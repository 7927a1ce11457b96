#pragma once

#include "CWGraphView.h"

// The graph view of the "Graph" page. It draws two kinds of series its own way: the maximum
// capacity as a thin line with the capacity lost above it shaded, and the battery power as filled
// runs above (charging) or below (drawing from the battery) a zero line, each run coloured by its
// side. Every other series is drawn as the base view draws it.
class CWCWGraphView : public CWGraphView {
    Q_OBJECT
public:
    using CWGraphView::CWGraphView;

    void drawGraph(const CWGraphSpec &spec, const QRectF &rect, QPainter &painter) override;

private:
    void _drawMaxCap(const CWGraphSpec &spec, QSizeF size, QPainter &painter);
    void _drawPower(const CWGraphSpec &spec, QSizeF size, QPainter &painter);
};
