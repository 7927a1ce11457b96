#include "CWDashboardArtwork.h"

#include "CWBatteryReadout.h"
#include "CWUtil.h"
#include "Console.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPdfDocument>
#include <QRadialGradient>
#include <cmath>

namespace {

QColor hsb(double hue, double saturation, double brightness, double alpha = 1.0)
{
    return QColor::fromHsvF(static_cast<float>(hue), static_cast<float>(saturation), static_cast<float>(brightness),
                            static_cast<float>(alpha));
}

QColor white(double alpha)
{
    return QColor::fromRgbF(1.0f, 1.0f, 1.0f, static_cast<float>(alpha));
}

// Fills the path's bounds with a gradient running along `angle` (0 left to right, 90 bottom to
// top in y-up coordinates), painting only inside the path.
void fillWithGradient(QPainter &painter, const QPainterPath &path, int angle, const QGradientStops &stops)
{
    const QRectF bounds = path.boundingRect();
    QLinearGradient gradient = angle == 0 ? QLinearGradient(bounds.left(), 0, bounds.right(), 0)
                                          : QLinearGradient(0, bounds.top(), 0, bounds.bottom());
    gradient.setStops(stops);
    CWPainterStateGuard guard(painter);
    painter.setClipPath(path, Qt::IntersectClip);
    painter.fillRect(bounds, gradient);
}

// The alpha of `mask` filled with `brush`.
QImage tinted(const QImage &mask, const QBrush &brush)
{
    QImage image = mask;
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), image.deviceIndependentSize()), brush);
    return image;
}

} // namespace

QImage CWDashboardArtwork::pageImage(QPdfDocument *document, const QSizeF &size, qreal devicePixelRatio)
{
    if (!document || document->pageCount() < 1 || size.isEmpty())
        return {};
    QImage image = document->render(0, (size * devicePixelRatio).toSize());
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

QImage CWDashboardArtwork::newLayer(const QSizeF &size, qreal devicePixelRatio)
{
    QImage image((size * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    return image;
}

QImage CWDashboardArtwork::background(const QSizeF &size, qreal devicePixelRatio)
{
    QImage image = newLayer(size, devicePixelRatio);
    if (image.isNull())
        return image;
    const double w = size.width(), h = size.height();
    QPainter painter(&image);
    CWUtil::flipToYUp(painter, h);
    const QRectF bounds(0, 0, w, h);
    painter.fillRect(bounds, CWUtil::hexColorToCGColor("000000ff"));
    const QPointF below(w / 2, -h / 2);
    QRadialGradient glow(below, 1.5 * h, below, 1.0);
    glow.setColorAt(0.0, CWUtil::hexColorToCGColor("484848"));
    glow.setColorAt(1.0, CWUtil::hexColorToCGColor("181818"));
    painter.fillRect(bounds, glow);
    CWUtil::drawNoise(painter, CWUtil::noiseImage(), size, 0.06);
    return image;
}

QImage CWDashboardArtwork::embossedLabel(const QString &text, const QSizeF &size, qreal devicePixelRatio)
{
    QImage layer = newLayer(size, devicePixelRatio);
    if (text.isEmpty() || layer.isNull())
        return layer;
    const double w = size.width();
    // The font size at which the text spans the layer's width exactly.
    const double measured = QFontMetricsF(CWUtil::boldAppFontOfSize(60.0)).horizontalAdvance(text);
    const double fontSize = measured > 0 ? w / measured * 60.0 : 60.0;

    // Drawn y-down: the shadow sits above the face and the highlight below it, as if pressed in.
    QImage mask = newLayer(size, devicePixelRatio);
    {
        QPainter painter(&mask);
        painter.setFont(CWUtil::boldAppFontOfSize(fontSize));
        painter.setPen(Qt::white);
        painter.drawText(QRectF(QPointF(0, 0), size), Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, text);
    }
    QLinearGradient face(0, size.height(), 0, 0);
    face.setColorAt(0.0, hsb(0.52, 1.0, 0.6));
    face.setColorAt(1.0, hsb(0.52, 0.5, 1.0));

    QPainter painter(&layer);
    painter.drawImage(QPointF(0, -w / 150), tinted(mask, Qt::black));
    painter.drawImage(QPointF(0, w / 330), tinted(mask, white(0.6)));
    painter.drawImage(QPointF(0, 0), tinted(mask, face));
    return layer;
}

QImage CWDashboardArtwork::computer(QPdfDocument *document, bool accelGraphics, const QSizeF &size,
                                    qreal devicePixelRatio)
{
    QImage layer = newLayer(size, devicePixelRatio);
    if (layer.isNull())
        return layer;
    const double w = size.width(), h = size.height();
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing);
    CWUtil::flipToYUp(painter, h);
    CWUtil::drawImage(painter, QRectF(0, 0, w, h), pageImage(document, size, devicePixelRatio));

    const QRectF screen(0.2 * w, 0.468 * h, 0.6 * w, 0.359 * h);
    const double sx = screen.x(), sy = screen.y(), sw = screen.width(), sh = screen.height();
    if (accelGraphics) {
        CWPainterStateGuard guard(painter);
        painter.setClipRect(screen);
        QLinearGradient glow(sx, sy, sx, sy + sh);
        glow.setColorAt(0.0, CWUtil::hexColorToCGColor("0e4a55"));
        glow.setColorAt(1.0, CWUtil::hexColorToCGColor("1c2122"));
        painter.fillRect(screen, glow);
    }
    const QColor shadow = Qt::black;
    painter.setFont(CWUtil::appFontOfSize(0.25 * sh));
    drawShadowedText(painter, QRectF(sx, sy + 0.44 * sh, 0.45 * sw, 0.5 * sh), Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("GPU"), white(0.9), shadow);
    painter.setFont(accelGraphics ? CWUtil::boldAppFontOfSize(0.25 * sh) : CWUtil::appFontOfSize(0.25 * sh));
    drawShadowedText(painter, QRectF(sx + 0.55 * sw, sy + 0.44 * sh, 0.45 * sw, 0.5 * sh), Qt::AlignLeft | Qt::AlignTop,
                     accelGraphics ? QStringLiteral("ON") : QStringLiteral("OFF"),
                     accelGraphics ? QColor::fromRgbF(0.2f, 0.85f, 1.0f, 0.9f) : white(0.9), shadow);
    painter.setFont(CWUtil::appFontOfSize(sh / 9));
    drawShadowedText(painter, QRectF(sx + 0.1 * sw, sy + 0.1 * sh, 0.8 * sw, 0.4 * sh),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     accelGraphics ? QStringLiteral("Your computer is using its graphics acceleration hardware.")
                                   : QStringLiteral("Your computer is using low-power integrated graphics."),
                     white(0.9), shadow);
    return layer;
}

void CWDashboardArtwork::drawCylinder(QPainter &painter, double charge, const QRectF &rect, QPdfDocument *artwork,
                                      const Cylinder &cylinder)
{
    CWPainterStateGuard guard(painter);
    painter.translate(rect.topLeft());
    const double W = rect.width(), H = rect.height();
    const double x0 = cylinder.left * W, bw = (cylinder.right - cylinder.left) * W;
    const double e = cylinder.ellipseHeight * H;
    const double middle = (cylinder.top - cylinder.bottom) / 2 + cylinder.bottom;
    const QRectF middleEllipse(x0, (middle - cylinder.ellipseHeight / 2) * H, bw, e);

    if (charge > 0) {
        const double level = cylinder.bottom + (cylinder.top - cylinder.bottom) * charge;
        QPainterPath bottomEllipse;
        bottomEllipse.addEllipse(QRectF(x0, (cylinder.bottom - cylinder.ellipseHeight / 2) * H, bw, e));
        QPainterPath surface;
        surface.addEllipse(QRectF(x0, (level - cylinder.ellipseHeight / 2) * H, bw, e));
        QPainterPath liquid = bottomEllipse;
        liquid.addRect(QRectF(x0, cylinder.bottom * H, bw, (level - cylinder.bottom) * H));
        liquid.setFillRule(Qt::WindingFill);
        QPainterPath glass = bottomEllipse;
        glass.addRect(QRectF(x0, cylinder.bottom * H, bw, (cylinder.top - cylinder.bottom) * H));
        glass.setFillRule(Qt::WindingFill);

        if (cylinder.cell) {
            painter.setPen(QPen(Qt::white, 1.0));
            painter.drawEllipse(middleEllipse);
        }
        const QColor color = CWBatteryReadout::liquidColor(charge, cylinder.cell).toHsv();
        const double hue = qMax(0.0f, color.hsvHueF()), saturation = color.hsvSaturationF();
        const double brightness = color.valueF(), alpha = color.alphaF();
        fillWithGradient(painter, liquid, 0,
                         {{0.0, hsb(hue, 1.0, 0.4, alpha)},
                          {0.3, hsb(hue, 1.0, 1.0, alpha)},
                          {1.0, hsb(hue, 1.0, 0.6, alpha)}});
        fillWithGradient(painter, surface, 90,
                         {{0.0, hsb(hue, saturation, 0.7 * brightness, alpha)},
                          {1.0, hsb(hue, saturation, 0.45 * brightness, alpha)}});
        fillWithGradient(painter, glass, 0, {{0.0, white(0.08)}, {0.3, white(0.2)}, {1.0, white(0.1)}});
    }

    CWUtil::drawImage(painter, QRectF(0, 0, W, H),
                      pageImage(artwork, rect.size(), painter.device()->devicePixelRatioF()));

    if (cylinder.cell) {
        // The lower half of the band round the middle, lit above and shaded one point below.
        painter.setBrush(Qt::NoBrush);
        const QRectF lowerHalf(x0, (middle - cylinder.ellipseHeight) * H, bw, e);
        {
            CWPainterStateGuard band(painter);
            painter.setClipRect(lowerHalf, Qt::IntersectClip);
            painter.setPen(QPen(Qt::white, 1.0));
            painter.drawEllipse(middleEllipse);
        }
        CWPainterStateGuard shade(painter);
        painter.translate(0, -1);
        painter.setClipRect(lowerHalf, Qt::IntersectClip);
        painter.setPen(QPen(QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.35f), 1.0));
        painter.drawEllipse(middleEllipse);
    }
}

void CWDashboardArtwork::drawLabels(QPainter &painter, const QStringList &titles, const QStringList &values,
                                    double size)
{
    if (titles.size() != values.size()) {
        Console::line(QStringLiteral("ERROR: [TITLES count] != [VALUES count]"));
        return;
    }
    const QFont titleFont = CWUtil::appFontOfSize(size);
    const QFont valueFont = CWUtil::boldAppFontOfSize(size);
    const double lineStep = std::round(1.2 * size);
    // The first line hangs from the top of a 30-point box; in small windows that would lift the
    // block under the battery into the cells' labels, so there the box shrinks with the text.
    const double boxHeight = qMin(30.0, 2.5 * size);
    CWPainterStateGuard guard(painter);
    painter.setPen(Qt::white);
    for (qsizetype i = 0; i < titles.size(); ++i) {
        painter.setFont(titleFont);
        CWUtil::drawText(painter, QRectF(-1004, 0, 1000, boxHeight), Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip,
                         titles[i]);
        painter.setFont(valueFont);
        CWUtil::drawText(painter, QRectF(4, 0, 1000, boxHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         values[i]);
        painter.translate(0, -lineStep);
    }
}

void CWDashboardArtwork::drawShadowedText(QPainter &painter, const QRectF &rect, int flags, const QString &text,
                                          const QColor &color, const QColor &shadow)
{
    CWPainterStateGuard guard(painter);
    painter.setPen(shadow);
    CWUtil::drawText(painter, rect.translated(0, -1), flags | Qt::TextDontClip, text);
    painter.setPen(color);
    CWUtil::drawText(painter, rect, flags | Qt::TextDontClip, text);
}
