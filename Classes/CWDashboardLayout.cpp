#include "CWDashboardLayout.h"

#include <cmath>

namespace {

QRectF centred(const QPointF &centre, const QSizeF &size)
{
    return CWDashboardLayout::integral(
        QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(), size.height()));
}

// Proportions like 0.22 x 500 land a hair off a whole number; that must not round a frame outward.
constexpr double kRoundingSlack = 1e-9;

} // namespace

CWDashboardLayout CWDashboardLayout::forSize(const QSizeF &viewSize)
{
    const double w = viewSize.width(), h = viewSize.height();
    const double s = 0.4 * h;
    return {centred(QPointF(0.814 * w, 0.51 * h), QSizeF(s, 2.5 * s)),
            centred(QPointF(0.22 * w, 0.22 * h), QSizeF(s, s)),
            centred(QPointF(0.22 * w, 0.78 * h), QSizeF(0.75 * s, 0.75 * s))};
}

QRectF CWDashboardLayout::plugAdornmentFrame(const QRectF &plugFrame)
{
    const QSizeF size = plugFrame.size() / 5;
    const QPointF centre = plugFrame.center() - QPointF(0, size.height() / 3);
    return centred(centre, size);
}

QRectF CWDashboardLayout::battDrawStringFrame(const QSizeF &viewSize)
{
    const double w = viewSize.width(), h = viewSize.height();
    const double height = w / 20;
    const double top = h / 2 - h / 40;
    return integral(QRectF(w / 2 - w / 8, top - height, w / 4, height));
}

QRectF CWDashboardLayout::integral(const QRectF &rect)
{
    const double left = std::floor(rect.left() + kRoundingSlack);
    const double bottom = std::floor(rect.top() + kRoundingSlack); // y-up: top() is the lower edge
    const double right = std::ceil(rect.right() - kRoundingSlack);
    const double top = std::ceil(rect.bottom() - kRoundingSlack);
    return QRectF(left, bottom, right - left, top - bottom);
}

QRectF CWDashboardLayout::joined(const QRectF &region, const QRectF &rect)
{
    if (region.isEmpty())
        return rect;
    if (rect.isEmpty())
        return region;
    return region.united(rect);
}
