#include "CWDashboardArrow.h"

#include "CWUtil.h"

#include <QPainter>
#include <QPen>
#include <cmath>
#include <numeric>

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
    if (pieces == 0 || lengths.isEmpty() || width <= 0)
        return;
    const double dashPeriod = period(lengths);
    // One dash per `pieces` periods in each pass; the passes sit a period apart.
    QList<qreal> pattern = lengths;
    pattern.last() += static_cast<double>(pieces - 1) * dashPeriod;
    for (qreal &length : pattern)
        length /= width; // Qt measures dashes in stroke widths

    CWPainterStateGuard guard(painter);
    QPen pen(color, width, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern(pattern);
    for (quint64 pass = 0; pass < pieces; ++pass) {
        pen.setDashOffset((static_cast<double>(pass) * dashPeriod + phase) / width);
        painter.setPen(pen);
        painter.setOpacity(passAlpha(pass));
        painter.drawPath(path);
    }
}
