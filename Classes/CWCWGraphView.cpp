#include "CWCWGraphView.h"

#include "CWUtil.h"

#include <QLinearGradient>
#include <QPainter>

#include <QPolygonF>

#include <map>
#include <tuple>
#include <vector>

namespace {

enum class Side { None, Above, Below };

// How a closed power run is filled: the colour of its side, and the ramp of the direction it
// closed in. The most recent run starts from a stronger base when charging.
struct RunFill {
    Side side = Side::None;
    bool above = false;
    bool final = false;

    bool operator<(const RunFill &other) const
    {
        return std::tie(side, above, final) < std::tie(other.side, other.above, other.final);
    }
};

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

void CWCWGraphView::drawGraph(const CWGraphSpec &spec, const QRectF &rect, QPainter &painter)
{
    if (spec.vertices.empty())
        return;
    if (spec.context != kCWGraphCxtMaxCap && spec.context != kCWGraphCxtDraw) {
        CWGraphView::drawGraph(spec, rect, painter);
        return;
    }
    // Both rules of their own draw in the pane's coordinates.
    CWPainterStateGuard guard(painter);
    painter.translate(rect.topLeft());
    if (spec.context == kCWGraphCxtMaxCap)
        _drawMaxCap(spec, rect.size(), painter);
    else
        _drawPower(spec, rect.size(), painter);
}

// The curve extended flat to both edges, stroked thin; the region above it shaded from the curve
// upwards.
void CWCWGraphView::_drawMaxCap(const CWGraphSpec &spec, QSizeF size, QPainter &painter)
{
    const std::vector<CWGraphVertex> &vertices = spec.vertices;
    const double w = size.width();
    const double h = size.height();
    QPainterPath curve;
    curve.moveTo(0, vertices.front().y * h);
    for (const CWGraphVertex &vertex : vertices)
        curve.lineTo(vertex.x * w, vertex.y * h);
    curve.lineTo(w, vertices.back().y * h);
    painter.strokePath(curve, QPen(spec.color, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));

    // The region above the curve, shaded from its lowest point up to the top of what is visible.
    curve.lineTo(w, 2 * h);
    curve.lineTo(0, 2 * h);
    curve.closeSubpath();
    curve.setFillRule(Qt::WindingFill);
    const QRectF box =
        curve.boundingRect().intersected(painter.hasClipping() ? painter.clipBoundingRect() : curve.boundingRect());
    QLinearGradient shade(box.topLeft(), QPointF(box.x(), box.bottom()));
    shade.setColorAt(0.0, withAlpha(spec.color, spec.color.alphaF() * 0.45));
    shade.setColorAt(1.0, withAlpha(spec.color, spec.color.alphaF() * 0.11));
    painter.setOpacity(spec.alpha);
    painter.fillPath(curve, shade);
}

// Runs of vertices on one side of the zero line (y = 0.5) are filled from the zero line to the
// curve. A crossing is not interpolated: a run ends at its last vertex before the change and the
// next begins at the first after it, so a narrow gap stays between them. Runs that fill alike are
// gathered and filled under one clip and brush.
void CWCWGraphView::_drawPower(const CWGraphSpec &spec, QSizeF size, QPainter &painter)
{
    const std::vector<CWGraphVertex> &vertices = spec.vertices;
    const double w = size.width();
    const double h = size.height();
    const double mid = h * 0.5;
    const auto point = [&](const CWGraphVertex &vertex) {
        return QPointF(vertex.x * w, (2 * vertex.y - 1) * mid + mid);
    };

    std::map<RunFill, std::vector<QPolygonF>> fills;
    QPolygonF run;
    Side side = Side::None;
    // A run shades upwards when it ends above the zero line. One that ends on it (0 W: a full
    // battery on the adapter) shades by the side of its points, so that the charge before it shows.
    const auto shadesUp = [&](const QPointF &end) { return end.y() > mid || (end.y() == mid && side == Side::Above); };
    const auto close = [&](const QPointF &end, bool above, bool final) {
        run.append(QPointF(end.x(), mid));
        fills[{side, above, final}].push_back(std::move(run));
        run = QPolygonF();
    };

    QPointF previous = point(vertices.front());
    run << QPointF(previous.x(), mid) << previous;
    for (size_t k = 1; k < vertices.size(); ++k) {
        const QPointF here = point(vertices[k]);
        if (here.y() != mid) {
            if (previous.y() > mid)
                side = Side::Above;
            else if (previous.y() < mid)
                side = Side::Below;
            if ((previous.y() > mid && here.y() > mid) || (previous.y() < mid && here.y() < mid)) {
                run << here;
            } else {
                close(previous, shadesUp(previous), false);
                run << QPointF(here.x(), mid) << here;
            }
        }
        previous = here;
    }
    close(previous, shadesUp(previous), true);

    for (const auto &[fill, runs] : fills) {
        const QColor color = fill.side == Side::Below   ? drawColor()
                             : fill.side == Side::Above ? currentCapColor()
                                                        : maxCapColor();
        // Charging shades from the zero line up to the top, drawing from the bottom up to the zero
        // line; nothing is painted beyond either end of the ramp.
        const QRectF band = fill.above ? QRectF(0, mid, w, h - mid) : QRectF(0, 0, w, mid);
        QLinearGradient ramp(QPointF(0, band.y()), QPointF(0, band.bottom()));
        if (fill.above) {
            ramp.setColorAt(0.0, withAlpha(color, fill.final ? 0.17 : 0.07));
            ramp.setColorAt(1.0, withAlpha(color, 0.6));
        } else {
            ramp.setColorAt(0.0, withAlpha(color, 0.7));
            ramp.setColorAt(1.0, withAlpha(color, 0.07));
        }
        CWPainterStateGuard fillGuard(painter);
        painter.setClipRect(band, Qt::IntersectClip);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ramp);
        for (const QPolygonF &polygon : runs)
            painter.drawPolygon(polygon, Qt::WindingFill);
    }
}
