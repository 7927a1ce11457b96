#include "CWUtil.h"

#include "Console.h"

#include <QColorTransform>
#include <QFontDatabase>
#include <QImageReader>
#include <QMetaEnum>
#include <QPdfDocument>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const QString kAppFontFamily = QStringLiteral("Exo");

// Logical pixels to typographic points at the 96 dpi that Qt's logical coordinates assume.
qreal pointsForPixels(qreal pixels)
{
    return pixels * 72.0 / 96.0;
}

QFont sized(QFont font, qreal size)
{
    font.setPointSizeF(pointsForPixels(size));
    return font;
}

QFont appFont(const QString &styleName, QFont::Weight weight, qreal size)
{
    CWUtil::registerAppFonts();
    if (!QFontDatabase::styles(kAppFontFamily).contains(styleName))
        return weight == QFont::Bold ? CWUtil::boldSystemFontOfSize(size) : CWUtil::systemFontOfSize(size);
    QFont font(kAppFontFamily);
    font.setWeight(weight);
    return sized(font, size);
}

// A quarter circle from the path's current point to `to`, bending round `corner`; both ends lie
// the radius away from the corner.
void arcAround(QPainterPath &path, const QPointF &corner, const QPointF &to)
{
    constexpr qreal kappa = 0.5522847498; // control-point distance of a Bezier quarter circle
    const QPointF from = path.currentPosition();
    path.cubicTo(from + (corner - from) * kappa, to + (corner - to) * kappa, to);
}

} // namespace

void CWUtil::hexColor(const char *hex, double rgba[4])
{
    char digits[9] = {};
    const size_t length = hex ? strnlen(hex, 9) : 0;
    if (length == 6) {
        std::memcpy(digits, hex, 6);
        std::memcpy(digits + 6, "ff", 2);
    } else if (length > 0) { // memcpy from a null pointer is undefined even for no bytes
        std::memcpy(digits, hex, qMin<size_t>(length, 8));
    }
    for (int i = 0; i < 4; ++i) {
        const char piece[3] = {digits[2 * i], digits[2 * i + 1], '\0'};
        rgba[i] = qBound(0.0, std::strtol(piece, nullptr, 16) / 255.0, 1.0);
    }
}

QColor CWUtil::hexColorToCGColor(const char *hex)
{
    double rgba[4];
    hexColor(hex, rgba);
    return QColor::fromRgbF(float(rgba[0]), float(rgba[1]), float(rgba[2]), float(rgba[3]));
}

const QColorSpace &CWUtil::sharedCS()
{
    static const QColorSpace deviceRGB(QColorSpace::SRgb);
    return deviceRGB;
}

QImage CWUtil::noiseImage()
{
    static QImage noise;
    if (noise.isNull()) {
        QString error;
        noise = imageResource(QStringLiteral("noise-256"), &error);
        if (noise.isNull())
            Console::line(QStringLiteral("+[CWGradientView noiseImage] failed: ") + error);
    }
    return noise;
}

bool CWUtil::registerAppFonts()
{
    static const bool registered = [] {
        bool ok = true;
        for (const char *file : {":/fonts/Exo-Light.woff2", ":/fonts/Exo-Bold.woff2"}) {
            if (QFontDatabase::addApplicationFont(QString::fromLatin1(file)) < 0) {
                Console::line(QStringLiteral("ERROR: could not register the font %1").arg(QLatin1String(file)));
                ok = false;
            }
        }
        return ok;
    }();
    return registered;
}

QFont CWUtil::appFontOfSize(qreal size)
{
    return appFont(QStringLiteral("Light"), QFont::Light, size);
}

QFont CWUtil::boldAppFontOfSize(qreal size)
{
    return appFont(QStringLiteral("Bold"), QFont::Bold, size);
}

QFont CWUtil::systemFontOfSize(qreal size)
{
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), size);
}

QFont CWUtil::boldSystemFontOfSize(qreal size)
{
    QFont font = systemFontOfSize(size);
    font.setBold(true);
    return font;
}

QImage CWUtil::imageResource(const QString &name, QString *error)
{
    // Without an extension the reader tries every image type it knows, as a bundle lookup would.
    QImageReader reader(QStringLiteral(":/") + name);
    const QImage image = reader.read();
    if (image.isNull() && error)
        *error = reader.errorString();
    return image;
}

std::shared_ptr<QPdfDocument> CWUtil::pdfResource(const QString &name)
{
    auto document = std::make_shared<QPdfDocument>();
    const QString path = QStringLiteral(":/%1.pdf").arg(name);
    if (const QPdfDocument::Error error = document->load(path); error != QPdfDocument::Error::None) {
        Console::line(QStringLiteral("ERROR: could not open the PDF resource %1: %2")
                          .arg(path, QLatin1String(QMetaEnum::fromType<QPdfDocument::Error>().valueToKey(int(error)))));
        return nullptr;
    }
    return document;
}

void CWUtil::flipToYUp(QPainter &painter, qreal height)
{
    painter.translate(0, height);
    painter.scale(1, -1);
}

void CWUtil::drawImage(QPainter &painter, const QRectF &rect, const QImage &image)
{
    CWPainterStateGuard guard(painter);
    flipToYUp(painter, rect.y() * 2 + rect.height());
    painter.drawImage(rect, image);
}

void CWUtil::drawText(QPainter &painter, const QRectF &rect, int flags, const QString &text)
{
    CWPainterStateGuard guard(painter);
    flipToYUp(painter, rect.y() * 2 + rect.height());
    painter.drawText(rect, flags, text);
}

QList<QRectF> CWUtil::noiseTiles(const QSizeF &area)
{
    constexpr qreal side = 256.0;
    const int rows = int(std::ceil(area.height() / side));
    const int columns = int(std::ceil(area.width() / side));
    QList<QRectF> tiles;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column)
            tiles.append(QRectF(column * side, row * side, side, side));
    }
    return tiles;
}

void CWUtil::drawNoise(QPainter &painter, const QImage &noise, const QSizeF &area, qreal alpha)
{
    if (noise.isNull())
        return;
    CWPainterStateGuard guard(painter);
    painter.setOpacity(alpha);
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    for (const QRectF &tile : noiseTiles(area))
        drawImage(painter, tile, noise);
}

// Multiplying an opaque picture by a grey grain g at opacity a leaves each channel c at
// c * (1 - a * (1 - g)), as black laid on at opacity a * (1 - g) does: that goes through the raster
// engine's fastest blend instead of its general one.
void CWUtil::drawNoiseOnOpaque(QPainter &painter, const QImage &noise, const QSizeF &area, qreal alpha)
{
    static QImage shade;
    static std::pair<qint64, qreal> shadeOf;
    if (noise.isNull())
        return;
    if (shade.isNull() || shadeOf != std::pair(noise.cacheKey(), alpha)) {
        shade = QImage(noise.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < noise.height(); ++y) {
            for (int x = 0; x < noise.width(); ++x)
                shade.setPixel(x, y, qRgba(0, 0, 0, qRound(alpha * (255 - qGray(noise.pixel(x, y))))));
        }
        shadeOf = {noise.cacheKey(), alpha};
    }
    for (const QRectF &tile : noiseTiles(area))
        drawImage(painter, tile, shade);
}

QPainterPath CWCreateRoundedRectPath(int cornerMask, const QRectF &rect, qreal radius)
{
    const qreal r = qMin(radius, qMax(rect.width() / 2, rect.height() / 2));
    const int mask = r > 0 ? cornerMask : 0;
    const qreal minX = rect.left(), maxX = rect.right();
    const qreal minY = rect.top(), maxY = rect.bottom(); // y-up: top() is the smaller y
    QPainterPath path;
    if (mask & 8) {
        path.moveTo(minX + r, minY);
        arcAround(path, QPointF(minX, minY), QPointF(minX, minY + r));
    } else {
        path.moveTo(minX, minY);
    }
    if (mask & 1) {
        path.lineTo(minX, maxY - r);
        arcAround(path, QPointF(minX, maxY), QPointF(minX + r, maxY));
    } else {
        path.lineTo(minX, maxY);
    }
    if (mask & 2) {
        path.lineTo(maxX - r, maxY);
        arcAround(path, QPointF(maxX, maxY), QPointF(maxX, maxY - r));
    } else {
        path.lineTo(maxX, maxY);
    }
    if (mask & 4) {
        path.lineTo(maxX, minY + r);
        arcAround(path, QPointF(maxX, minY), QPointF(maxX - r, minY));
    } else {
        path.lineTo(maxX, minY);
    }
    path.closeSubpath();
    return path;
}

QColor CWCreateCGColorFromNSColor(const QColorSpace &colorSpace, const QColor &color)
{
    const QColor rgb = color.toRgb();
    if (!colorSpace.isValid() || colorSpace == CWUtil::sharedCS())
        return rgb;
    return CWUtil::sharedCS().transformationToColorSpace(colorSpace).map(rgb);
}
