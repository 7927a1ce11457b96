// The drawing helpers every view shares: colours, fonts, resources, paths and y-up painting.
#include "CWUtil.h"
#include "TestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QPolygonF>

namespace {

QImage blankImage(int width, int height, const QColor &color = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

} // namespace

TEST(HexColor, ParsesSixOrEightDigitsAndNeverReadsPastTheEnd)
{
    const struct {
        const char *hex;
        int r, g, b, a;
    } rows[] = {
        {"000000ff", 0, 0, 0, 255},
        {"20bad6", 32, 186, 214, 255},
        {"20BAD6", 32, 186, 214, 255},
        {"ffffdd00", 255, 255, 221, 0}, // transparent although its colour channels are not zero
        // clang-format off
        {"1122334455", 0x11, 0x22, 0x33, 0x44}, {"2g0x+f-1", 2, 0, 15, 0}, // like strtol; negative clamped
        {"fff", 255, 15, 0, 0},         {"1234567", 0x12, 0x34, 0x56, 7}, {"", 0, 0, 0, 0}, {nullptr, 0, 0, 0, 0},
    };
    // clang-format on
    for (const auto &row : rows) {
        double rgba[4] = {-1, -1, -1, -1};
        CWUtil::hexColor(row.hex, rgba);
        EXPECT_EQ(std::vector<double>(rgba, rgba + 4),
                  (std::vector<double>{row.r / 255.0, row.g / 255.0, row.b / 255.0, row.a / 255.0}))
            << (row.hex ? row.hex : "null");
    }
    EXPECT_EQ(CWUtil::hexColorToCGColor("0e4a5580"), QColor(0x0e, 0x4a, 0x55, 0x80));
}

TEST(Resources, LoadOnceAndMissingOnesAreReportedAsNull)
{
    ConsoleCapture console;
    const QImage noise = CWUtil::noiseImage();
    EXPECT_EQ(noise.size(), QSize(256, 256));
    EXPECT_EQ(CWUtil::noiseImage().cacheKey(), noise.cacheKey());
    EXPECT_TRUE(console.lines().isEmpty());

    EXPECT_FALSE(CWUtil::pdfResource(u"no-such-artwork"_s));
    ASSERT_EQ(console.lines().size(), 1);
    EXPECT_TRUE(console.lines()[0].startsWith(u"ERROR: could not open the PDF resource :/no-such-artwork.pdf: "_s))
        << "with the reason";
    EXPECT_TRUE(CWUtil::imageResource(u"no-such-texture"_s).isNull());
}

TEST(Fonts, ExoAtLogicalPixelSizesAndTheSystemFontsWhenItIsMissing)
{
    ASSERT_TRUE(CWUtil::registerAppFonts());
    EXPECT_TRUE(CWUtil::registerAppFonts());
    EXPECT_TRUE(QFile::exists(u":/fonts/LICENSE"_s)) << "the typeface's licence ships with it";
    const QFont light = CWUtil::appFontOfSize(16);
    EXPECT_EQ(QFontInfo(light).family(), u"Exo"_s);
    EXPECT_EQ(QFontInfo(light).weight(), QFont::Light);
    EXPECT_DOUBLE_EQ(light.pointSizeF(), 12.0); // 16 px at 96 dpi
    const QFontInfo bold(CWUtil::boldAppFontOfSize(60));
    EXPECT_EQ(std::pair(bold.family(), bold.weight()), std::pair(u"Exo"_s, int(QFont::Bold)));

    QFontDatabase::removeAllApplicationFonts();
    EXPECT_EQ(CWUtil::appFontOfSize(14), CWUtil::systemFontOfSize(14));
    EXPECT_EQ(CWUtil::boldAppFontOfSize(14), CWUtil::boldSystemFontOfSize(14));
    QFontDatabase::addApplicationFont(u":/fonts/Exo-Light.woff2"_s);
    QFontDatabase::addApplicationFont(u":/fonts/Exo-Bold.woff2"_s);
}

TEST(RoundedRectPath, RadiusIsCappedByTheLargerHalfSideAndMaskBitsPickCorners)
{
    EXPECT_EQ(CWCreateRoundedRectPath(15, QRectF(0, 0, 100, 20), 30.0).elementAt(0), QPointF(30, 0)); // 30, not 10
    EXPECT_EQ(CWCreateRoundedRectPath(15, QRectF(0, 0, 100, 20), 80.0).elementAt(0), QPointF(50, 0));
    // Without radius or mask: a plain rectangle from (minX, minY).
    for (const QPainterPath &path : {CWCreateRoundedRectPath(15, QRectF(5, 6, 100, 20), 0.0),
                                     CWCreateRoundedRectPath(0, QRectF(5, 6, 100, 20), 10.0)})
        EXPECT_EQ(path.toFillPolygon(), QPolygonF({{5, 6}, {5, 26}, {105, 26}, {105, 6}, {5, 6}}));
    const QRectF rect(0, 0, 100, 60);
    const QPointF nearCorner[] = {{0.5, 59.5}, {99.5, 59.5}, {99.5, 0.5}, {0.5, 0.5}}; // bits 1, 2, 4, 8
    for (int bit = 0; bit < 4; ++bit) {
        const QPainterPath path = CWCreateRoundedRectPath(1 << bit, rect, 10.0);
        for (int corner = 0; corner < 4; ++corner)
            EXPECT_EQ(path.contains(nearCorner[corner]), corner != bit) << "mask " << (1 << bit);
    }
    // Just inside and just outside the quarter circle of radius 10 round (10, 10).
    const QPainterPath all = CWCreateRoundedRectPath(15, rect, 10.0);
    EXPECT_TRUE(all.contains(QPointF(3.5, 3.5)));
    EXPECT_FALSE(all.contains(QPointF(2.5, 2.5)));
}

TEST(ColorConversion, GivesRGBInTheRequestedSpace)
{
    const QColor hsv = QColor::fromHsvF(0.5f, 1.0f, 1.0f, 0.25f);
    EXPECT_EQ(CWCreateCGColorFromNSColor(CWUtil::sharedCS(), hsv), hsv.toRgb());
    // Pure sRGB red lies inside Display P3, so it is no longer its pure red there.
    const QColor p3 = CWCreateCGColorFromNSColor(QColorSpace(QColorSpace::DisplayP3), Qt::red);
    EXPECT_LT(p3.redF(), 1.0f);
    EXPECT_GT(p3.greenF(), 0.0f);
    EXPECT_EQ(p3.alpha(), 255);
}

TEST(YUpPainting, OriginIsBottomLeftAndImagesAndTextStayUpright)
{
    QImage canvas = blankImage(100, 100);
    QPainter painter(&canvas);
    CWUtil::flipToYUp(painter, 100);
    painter.fillRect(QRectF(0, 0, 10, 10), Qt::green);
    QImage topRed = blankImage(20, 20, Qt::blue);
    QPainter(&topRed).fillRect(0, 0, 20, 10, Qt::red);
    CWUtil::drawImage(painter, QRectF(50, 50, 20, 20), topRed);
    painter.setPen(Qt::black);
    painter.setFont(CWUtil::boldAppFontOfSize(12));
    CWUtil::drawText(painter, QRectF(10, 10, 80, 30), Qt::AlignLeft | Qt::AlignTop, u"Wy"_s);
    painter.end();

    EXPECT_EQ(canvas.pixelColor(5, 95), QColor(Qt::green));
    EXPECT_EQ(canvas.pixelColor(60, 35), QColor(Qt::red)); // y-up 60-70 is the image's top half
    EXPECT_EQ(canvas.pixelColor(60, 45), QColor(Qt::blue));
    // Text aligned to the top of the y-up rectangle (10..40) starts at y-down 60, not at 90.
    int firstInk = -1;
    for (int y = 0; y < 100 && firstInk < 0; ++y) {
        for (int x = 10; x < 60 && firstInk < 0; ++x)
            firstInk = canvas.pixelColor(x, y) == QColor(Qt::black) ? y : -1;
    }
    EXPECT_TRUE(firstInk >= 60 && firstInk < 66) << firstInk;
}

// Over an opaque picture of any colour the fast grain is the multiplied one, to within rounding.
TEST(Noise, OnAnOpaquePictureTheFastGrainIsTheMultipliedOne)
{
    const auto grained = [](void (*draw)(QPainter &, const QImage &, const QSizeF &, qreal)) {
        QImage canvas = blankImage(300, 300, Qt::white);
        QPainter painter(&canvas);
        QLinearGradient colours(0, 0, 300, 300);
        colours.setStops({{0.0, QColor(20, 40, 60)}, {0.5, QColor(250, 120, 0)}, {1.0, Qt::white}});
        painter.fillRect(canvas.rect(), colours);
        draw(painter, CWUtil::noiseImage(), QSizeF(300, 300), 0.3);
        return canvas;
    };
    const QImage multiplied = grained(&CWUtil::drawNoise);
    const QImage shaded = grained(&CWUtil::drawNoiseOnOpaque);
    int worst = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 300; ++x) {
            worst = std::max(worst, pixelDifference(multiplied.pixel(x, y), shaded.pixel(x, y)));
        }
    }
    EXPECT_LE(worst, 2);
}

TEST(Noise, TilesFromTheOriginAndIsMultipliedAtTheGivenOpacity)
{
    EXPECT_EQ(CWUtil::noiseTiles(QSizeF(600, 400)).size(), 6);
    EXPECT_EQ(CWUtil::noiseTiles(QSizeF(257, 256)), (QList<QRectF>{QRectF(0, 0, 256, 256), QRectF(256, 0, 256, 256)}));
    EXPECT_TRUE(CWUtil::noiseTiles(QSizeF(0, 100)).isEmpty());

    QImage canvas = blankImage(300, 300, Qt::white);
    QPainter painter(&canvas);
    CWUtil::drawNoise(painter, CWUtil::noiseImage(), QSizeF(300, 300), 0.2);
    CWUtil::drawNoise(painter, QImage(), QSizeF(300, 300), 1.0); // no texture: nothing drawn
    painter.end();
    int darkest = 255, darkened = 0;
    for (int y = 0; y < 300; y += 3) {
        for (int x = 0; x < 300; x += 3) {
            darkest = qMin(darkest, qRed(canvas.pixel(x, y)));
            darkened += qRed(canvas.pixel(x, y)) < 255;
        }
    }
    EXPECT_GE(darkest, 255 * 0.8 - 1); // at most 20 % darker
    EXPECT_GT(darkened, 5000);         // a grain all over, the tile past 256 included
    EXPECT_EQ(qAlpha(canvas.pixel(299, 299)), 255);
}
