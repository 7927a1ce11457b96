#include "CWGradientView.h"

#include "CWUtil.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

CWGradientView::CWGradientView(QWidget *parent)
    : QWidget(parent)
{
}

void CWGradientView::drawLinearGradient(QPainter &painter, const QGradientStops &stops, const QRectF &rect,
                                        double angle)
{
    const double radians = qDegreesToRadians(angle);
    const QPointF direction(std::cos(radians), std::sin(radians));
    const double halfLength = (std::abs(direction.x()) * rect.width() + std::abs(direction.y()) * rect.height()) * 0.5;
    QLinearGradient ramp(rect.center() - direction * halfLength, rect.center() + direction * halfLength);
    ramp.setStops(stops);
    painter.fillRect(rect, ramp);
}

QRadialGradient CWGradientView::radialGradient(const QGradientStops &stops, const QSizeF &size)
{
    const QPointF centre(size.width() * 0.5, -0.5 * size.height());
    QRadialGradient glow(centre, 1.5 * size.height(), centre, 1.0);
    glow.setStops(stops);
    glow.setSpread(QGradient::PadSpread);
    return glow;
}

void CWGradientView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    CWUtil::flipToYUp(painter, height());
    drawRect(painter);
}

void CWGradientView::drawRect(QPainter &painter)
{
    if (_gradient.isEmpty())
        return;
    const QRectF bounds(QPointF(0, 0), size());
    if (_type == Linear)
        drawLinearGradient(painter, _gradient, bounds, _angle);
    else if (_type == Radial)
        painter.fillRect(bounds, radialGradient(_gradient, bounds.size()));
    if (_noise > 0.0)
        CWUtil::drawNoise(painter, CWUtil::noiseImage(), bounds.size(), _noise);
}
