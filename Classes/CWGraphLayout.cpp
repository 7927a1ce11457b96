#include "CWGraphLayout.h"

#include <cmath>

namespace {

// An arc of the circle around centre from startDegrees to endDegrees (0 pointing right, 90 up),
// joined to the path by a line, turning clockwise or counter-clockwise.
void addArc(QPainterPath &path, const QPointF &centre, double radius, double startDegrees, double endDegrees,
            bool clockwise)
{
    double sweep = std::fmod(endDegrees - startDegrees, 360.0);
    if (clockwise && sweep > 0.0)
        sweep -= 360.0;
    if (!clockwise && sweep < 0.0)
        sweep += 360.0;
    // The path's own coordinates run y-down, so its angles turn the other way.
    path.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), -startDegrees, -sweep);
}

// y-up: a rectangle's far edges are right() and bottom().
double maxX(const QRectF &rect)
{
    return rect.right();
}

double maxY(const QRectF &rect)
{
    return rect.bottom();
}

} // namespace

QRectF CWGraphLayout::integralRect(const QRectF &rect)
{
    const double left = std::floor(rect.left());
    const double y = std::floor(rect.y());
    return QRectF(left, y, std::ceil(maxX(rect)) - left, std::ceil(maxY(rect)) - y);
}

CWGraphLayout CWGraphLayout::forSize(const QSizeF &size, const CWGraphMetrics &m)
{
    CWGraphLayout layout;
    const double W = size.width();
    const double H = size.height();
    const double x = m.pad + 5 * m.legendHSpacing;
    const double y = m.pad + 5 * m.legendVSpacing;
    const QRectF base(x, y, (W - m.pad) - x, (H - m.pad) - y);

    const QRectF bot = integralRect(QRectF(base.x(), base.y(), base.width(), base.height() * 0.25));
    const QRectF top(base.x() - (m.legendHSpacing + 1), base.y() + bot.height(), base.width() + m.legendHSpacing + 1,
                     base.height() - bot.height());
    layout.botGraphBounds = bot;
    layout.topGraphBounds = top;

    const double LR = m.legendRadius;
    for (int i = 0; i < LegendCount; ++i) {
        const double xi = m.pad + i * m.legendHSpacing;
        const double yi = m.pad + i * m.legendVSpacing;
        QPainterPath &line = layout.legendLines[i];
        line.moveTo(xi, i == Draw ? bot.y() + bot.height() * 0.5 : H - m.pad);
        line.lineTo(xi, yi + LR);
        addArc(line, QPointF(xi + LR, yi + LR), LR, 180, 270, false);
        line.lineTo(m.pad + m.legendExtentRight, yi);
        if (i != Draw) {
            const double width = i == ChargeLevel ? m.legendHSpacing + m.graphRadius : m.legendHSpacing;
            layout.legendBGs[i].addRect(QRectF(xi, top.y(), width, top.height()));
        }
    }

    const double R = m.graphRadius;
    QPainterPath &botOutline = layout.botGraphBG;
    botOutline.moveTo(bot.x(), maxY(bot));
    botOutline.lineTo(bot.x(), bot.y() + R);
    addArc(botOutline, QPointF(bot.x() + R, bot.y() + R), R, 180, 270, false);
    botOutline.lineTo(maxX(bot) - R, bot.y());
    addArc(botOutline, QPointF(maxX(bot) - R, bot.y() + R), R, -90, 0, false);
    botOutline.lineTo(maxX(bot), maxY(bot));

    QPainterPath &topOutline = layout.topGraphBG;
    topOutline.moveTo(top.x(), top.y());
    topOutline.lineTo(top.x(), maxY(top) - R);
    addArc(topOutline, QPointF(top.x() + R, maxY(top) - R), R, 180, 90, true);
    topOutline.lineTo(maxX(top) - R, maxY(top));
    addArc(topOutline, QPointF(maxX(top) - R, maxY(top) - R), R, 90, 0, true);
    topOutline.lineTo(maxX(top), top.y());
    return layout;
}
