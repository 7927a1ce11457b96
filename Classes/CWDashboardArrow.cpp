#include "CWDashboardArrow.h"

#include "CWUtil.h"

#include <QPainter>
#include <QPen>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

// Like CGPathAddArcToPoint: a line from the current point to where a circle of `radius` touches the
// line towards `corner`, then the arc round to where it touches the line from `corner` towards `to`.
void addArcToPoint(QPainterPath &path, const QPointF &corner, const QPointF &to, double radius)
{
    const QPointF from = path.currentPosition();
    const QLineF in(corner, from), out(corner, to);
    const double turn = qDegreesToRadians(in.angleTo(out));
    const double halfAngle = std::abs(std::remainder(turn, 2 * M_PI)) / 2;
    const double reach = radius / std::tan(halfAngle);
    const QPointF start = corner + (from - corner) * (reach / in.length());
    const QPointF end = corner + (to - corner) * (reach / out.length());
    // A single cubic per arc: the routes only turn right angles, which it draws within 0.03 %.
    const double sweep = M_PI - 2 * halfAngle;
    const double handle = 4.0 / 3.0 * std::tan(sweep / 4) * radius / reach;
    path.lineTo(start);
    path.cubicTo(start + (corner - start) * handle, end + (corner - end) * handle, end);
}

// A route flattened to a polyline, measured along its length.
class Route {
public:
    explicit Route(const QPainterPath &path)
    {
        const QList<QPolygonF> polygons = path.toSubpathPolygons();
        if (!polygons.isEmpty())
            _points = polygons.first();
        _distances.reserve(_points.size());
        double distance = 0;
        for (qsizetype i = 0; i < _points.size(); ++i) {
            if (i > 0)
                distance += QLineF(_points[i - 1], _points[i]).length();
            _distances.push_back(distance);
        }
    }

    double length() const { return _distances.empty() ? 0.0 : _distances.back(); }

    // The part of the route between two distances from its start.
    QPolygonF section(double from, double to) const
    {
        QPolygonF points;
        for (qsizetype i = 1; i < _points.size(); ++i) {
            const double start = _distances[static_cast<size_t>(i - 1)], end = _distances[static_cast<size_t>(i)];
            if (end < from || start > to || end == start)
                continue;
            const QLineF segment(_points[i - 1], _points[i]);
            const auto at = [&](double distance) { return segment.pointAt((distance - start) / (end - start)); };
            if (points.isEmpty())
                points << at(std::max(from, start));
            points << at(std::min(to, end));
        }
        return points;
    }

private:
    QPolygonF _points;
    std::vector<double> _distances;
};

double period(const QList<qreal> &lengths)
{
    return std::accumulate(lengths.cbegin(), lengths.cend(), 0.0);
}

} // namespace

CWDashboardArrow::Routes CWDashboardArrow::routes(const QSizeF &viewSize, double battFrameWidth)
{
    const double w = viewSize.width(), h = viewSize.height();
    const double x = 0.22 * w;
    const double radius = 0.75 * std::abs(0.697 * h - 0.828 * h);
    const double runEnd = 0.812 * w - 0.2195 * battFrameWidth;
    const QPointF corner(x, 0.5 * h), towards(0.32 * w, 0.5 * h);

    Routes routes;
    routes.plugToBatt.moveTo(x, 0.7 * h);
    routes.plugToBatt.lineTo(x, 0.597 * h);
    addArcToPoint(routes.plugToBatt, corner, towards, radius);
    routes.plugToBatt.lineTo(runEnd, 0.5 * h);

    routes.plugToComp.moveTo(x, 0.7 * h);
    routes.plugToComp.lineTo(x, 0.363 * h);

    routes.battToComp.moveTo(x, 0.363 * h);
    routes.battToComp.lineTo(x, 0.403 * h);
    addArcToPoint(routes.battToComp, corner, towards, radius);
    routes.battToComp.lineTo(runEnd, 0.5 * h);
    return routes;
}

QList<qreal> CWDashboardArrow::dashLengths(const QPainterPath &plugToBatt)
{
    const QRectF box = plugToBatt.controlPointRect();
    const double q = (std::abs(box.width()) + std::abs(box.height())) / 40;
    return {std::round(q), std::round(0.3 * q)};
}

double CWDashboardArrow::lineWidth(const QPainterPath &plugToBatt)
{
    return std::abs(plugToBatt.controlPointRect().height() / 6.5);
}

void CWDashboardArrow::advance(double seconds, double scale)
{
    const double cycle = static_cast<double>(pieces) * period(lengths);
    if (cycle > 0) // no dashes before the first layout
        phase = std::fmod(phase - speed * seconds * scale, cycle);
    if (!hidden)
        dirty = true;
}

QRectF CWDashboardArrow::redrawArea() const
{
    if (!dirty)
        return {};
    return path.controlPointRect().adjusted(-width, -width, width, width);
}

double CWDashboardArrow::passAlpha(quint64 pass) const
{
    const double n = static_cast<double>(pieces);
    const double i = static_cast<double>(pass);
    return (speed >= 0 ? 1 - i / n : (i + 1) / n) * 0.6 + 0.3;
}

void CWDashboardArrow::draw(QPainter &painter, const QColor &color) const
{
    if (pieces == 0 || lengths.size() != 2 || width <= 0)
        return;
    const double dashPeriod = period(lengths);
    // Each pass shows one dash per `pieces` periods; the passes sit a period apart.
    const double cycle = static_cast<double>(pieces) * dashPeriod;
    const Route route(path);

    CWPainterStateGuard guard(painter);
    // The routes turn back on themselves for a point where a straight run meets its corner: a
    // plain miter join would grow a spike there, the SVG one bevels it.
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::SvgMiterJoin));
    painter.setBrush(Qt::NoBrush);
    for (quint64 pass = 0; pass < pieces; ++pass) {
        painter.setOpacity(passAlpha(pass));
        // Like a dash phase: the pattern starts this far in at the route's start.
        double offset = std::fmod(static_cast<double>(pass) * dashPeriod + phase, cycle);
        if (offset < 0)
            offset += cycle;
        // Dash by dash: one stroke of all of them would be filled on Qt's worker threads, and
        // handing so little work over costs more than drawing it.
        for (double start = -offset; start < route.length(); start += cycle) {
            const double from = std::max(start, 0.0), to = std::min(start + lengths.first(), route.length());
            if (to > from)
                painter.drawPolyline(route.section(from, to));
        }
    }
}
