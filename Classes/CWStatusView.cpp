#include "CWStatusView.h"

#include "CWUtil.h"
#include "Console.h"

#include <QPainter>
#include <QRadialGradient>

CWStatusView::CWStatusView(QWidget *parent)
    : QWidget(parent)
{
}

QPointF CWStatusView::castCentre(const QSizeF &size)
{
    return QPointF(size.width() * 0.5, qMin(0.0, size.height() - size.width() * 0.5));
}

void CWStatusView::paintEvent(QPaintEvent *)
{
    const QImage noise = CWUtil::noiseImage();
    if (noise.isNull())
        Console::line(QStringLiteral("Failed to load noise image."));
    const QSizeF size = this->size();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    CWUtil::flipToYUp(painter, size.height());
    CWPainterStateGuard clip(painter);
    painter.setClipPath(CWCreateRoundedRectPath(15, QRectF(QPointF(0, 0), size), 18.0));

    painter.fillRect(QRectF(QPointF(0, 0), size), CWUtil::hexColorToCGColor("202122"));

    // Clear at the middle of the bottom edge, deepening towards the top corners.
    QRadialGradient cast(castCentre(size), qMax(size.width(), size.height()) / 1.3);
    cast.setColorAt(0.0, CWUtil::hexColorToCGColor("ffffdd00"));
    cast.setColorAt(1.0, CWUtil::hexColorToCGColor("ffface55"));
    painter.fillRect(QRectF(QPointF(0, 0), size), cast);

    CWUtil::drawNoise(painter, noise, size, 0.2);
}
