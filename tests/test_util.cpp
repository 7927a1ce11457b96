#include "CWUtil.h"
#include "TestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPdfDocument>
#include <gtest/gtest.h>

namespace {

struct RGBA {
    double r, g, b, a;
};

RGBA parse(const char *hex)
{
    double rgba[4] = {-1, -1, -1, -1};
    CWUtil::hexColor(hex, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

void expectRGBA(const RGBA &actual, int r, int g, int b, int a)
{
    EXPECT_DOUBLE_EQ(actual.r, r / 255.0);
    EXPECT_DOUBLE_EQ(actual.g, g / 255.0);
    EXPECT_DOUBLE_EQ(actual.b, b / 255.0);
    EXPECT_DOUBLE_EQ(actual.a, a / 255.0);
}

QImage blankImage(int width, int height, const QColor &color = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

} // namespace

TEST(HexColor, SixDigitsAreOpaqueAndEightCarryAlpha)
{
    expectRGBA(parse("000000ff"), 0, 0, 0, 255);
    expectRGBA(parse("000000"), 0, 0, 0, 255);
    expectRGBA(parse("20bad6"), 32, 186, 214, 255);
    expectRGBA(parse("20BAD6"), 32, 186, 214, 255);
    expectRGBA(parse("ffffff12"), 255, 255, 255, 18);
    // Fully transparent although its colour channels are not zero.
    expectRGBA(parse("ffffdd00"), 255, 255, 221, 0);
}

TEST(HexColor, ExtraCharactersAndNonDigitsParseLikeStrtol)
{
    expectRGBA(parse("1122334455"), 0x11, 0x22, 0x33, 0x44);
    expectRGBA(parse("2g0x+f-1"), 2, 0, 15, 0); // partial, none, sign, negative clamped to 0
}

TEST(HexColor, OtherLengthsStopAtTheEndOfTheString)
{
    expectRGBA(parse("fff"), 255, 15, 0, 0);
    expectRGBA(parse("1234567"), 0x12, 0x34, 0x56, 7);
    expectRGBA(parse(""), 0, 0, 0, 0);
    expectRGBA(parse(nullptr), 0, 0, 0, 0);
}

TEST(HexColor, ToColorKeepsTheComponents)
{
    const QColor color = CWUtil::hexColorToCGColor("0e4a5580");
    EXPECT_EQ(color.red(), 0x0e);
    EXPECT_EQ(color.green(), 0x4a);
    EXPECT_EQ(color.blue(), 0x55);
    EXPECT_EQ(color.alpha(), 0x80);
}

TEST(SharedObjects, ColourSpaceAndNoiseAreCreatedOnce)
{
    EXPECT_EQ(&CWUtil::sharedCS(), &CWUtil::sharedCS());
    EXPECT_EQ(CWUtil::sharedCS(), QColorSpace(QColorSpace::SRgb));

    ConsoleCapture console;
    const QImage noise = CWUtil::noiseImage();
    ASSERT_FALSE(noise.isNull());
    EXPECT_EQ(noise.size(), QSize(256, 256));
    EXPECT_EQ(CWUtil::noiseImage().cacheKey(), noise.cacheKey());
    EXPECT_TRUE(console.lines().isEmpty());
    EXPECT_DOUBLE_EQ(CWUtil::scaleFactor(), 1.0);
}

TEST(Resources, AreCompiledIntoTheProgram)
{
    for (const char *path : {":/icons.pdf", ":/noise-256.png", ":/fonts/Exo-Light.woff2",
                             ":/fonts/Exo-Bold.woff2", ":/fonts/LICENSE"})
        EXPECT_TRUE(QFile::exists(QString::fromLatin1(path))) << path;

    const auto icons = CWUtil::pdfResource(QStringLiteral("icons"));
    ASSERT_TRUE(icons);
    EXPECT_EQ(icons->pageCount(), 1);
    EXPECT_EQ(icons->pagePointSize(0), QSizeF(160, 128)); // five columns, four rows of 32-point tiles
}

TEST(Resources, MissingOnesAreReportedAsNull)
{
    ConsoleCapture console;
    EXPECT_FALSE(CWUtil::pdfResource(QStringLiteral("no-such-artwork")));
    EXPECT_EQ(console.lines().value(0), QStringLiteral("ERROR: could not open the PDF resource :/no-such-artwork.pdf: FileNotFound"));
    EXPECT_TRUE(CWUtil::imageResource(QStringLiteral("no-such-texture")).isNull());
}

TEST(Fonts, ExoLightAndBoldAtLogicalPixelSizes)
{
    ASSERT_TRUE(CWUtil::registerAppFonts());
    EXPECT_TRUE(CWUtil::registerAppFonts());

    const QFont light = CWUtil::appFontOfSize(16);
    EXPECT_EQ(QFontInfo(light).family(), QStringLiteral("Exo"));
    EXPECT_EQ(QFontInfo(light).weight(), QFont::Light);
    EXPECT_DOUBLE_EQ(light.pointSizeF(), 12.0); // 16 px at 96 dpi

    const QFont bold = CWUtil::boldAppFontOfSize(60);
    EXPECT_EQ(QFontInfo(bold).family(), QStringLiteral("Exo"));
    EXPECT_EQ(QFontInfo(bold).weight(), QFont::Bold);

    const QFont system = CWUtil::systemFontOfSize(14);
    EXPECT_EQ(system.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    EXPECT_DOUBLE_EQ(system.pointSizeF(), 10.5);
    EXPECT_TRUE(CWUtil::boldSystemFontOfSize(14).bold());
}

TEST(Fonts, SystemFontsStandInWhenExoIsMissing)
{
    ASSERT_TRUE(CWUtil::registerAppFonts());
    QFontDatabase::removeAllApplicationFonts();
    EXPECT_EQ(CWUtil::appFontOfSize(14), CWUtil::systemFontOfSize(14));
    EXPECT_EQ(CWUtil::boldAppFontOfSize(14), CWUtil::boldSystemFontOfSize(14));
    // Put them back for the tests that follow.
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Exo-Light.woff2"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Exo-Bold.woff2"));
    EXPECT_EQ(QFontInfo(CWUtil::appFontOfSize(14)).family(), QStringLiteral("Exo"));
}

TEST(RoundedRectPath, RadiusIsCappedByTheLargerHalfSide)
{
    const QPainterPath path = CWCreateRoundedRectPath(15, QRectF(0, 0, 100, 20), 30.0);
    EXPECT_EQ(path.elementAt(0), QPointF(30, 0)); // 30, not 10
    EXPECT_EQ(CWCreateRoundedRectPath(15, QRectF(0, 0, 100, 20), 80.0).elementAt(0), QPointF(50, 0));
}

TEST(RoundedRectPath, WithoutRadiusOrMaskItIsAPlainRectangleFromMinXMinY)
{
    for (const QPainterPath &path : {CWCreateRoundedRectPath(15, QRectF(5, 6, 100, 20), 0.0),
                                     CWCreateRoundedRectPath(0, QRectF(5, 6, 100, 20), 10.0)}) {
        ASSERT_EQ(path.elementCount(), 5);
        EXPECT_EQ(path.elementAt(0), QPointF(5, 6));
        EXPECT_EQ(path.elementAt(1), QPointF(5, 26));
        EXPECT_EQ(path.elementAt(2), QPointF(105, 26));
        EXPECT_EQ(path.elementAt(3), QPointF(105, 6));
        EXPECT_EQ(path.boundingRect(), QRectF(5, 6, 100, 20));
    }
}

TEST(RoundedRectPath, MaskBitsPickCornersAndCornersAreCircular)
{
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
    const QColor same = CWCreateCGColorFromNSColor(CWUtil::sharedCS(), hsv);
    EXPECT_EQ(same.spec(), QColor::Rgb);
    EXPECT_EQ(same, hsv.toRgb());

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
    CWUtil::drawText(painter, QRectF(10, 10, 80, 30), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Wy"));
    painter.end();

    EXPECT_EQ(canvas.pixelColor(5, 95), QColor(Qt::green));
    EXPECT_EQ(canvas.pixelColor(60, 35), QColor(Qt::red));  // y-up 60-70 is the image's top half
    EXPECT_EQ(canvas.pixelColor(60, 45), QColor(Qt::blue));
    // Text aligned to the top of the y-up rectangle (10..40) starts at y-down 60, not at 90.
    int firstInk = -1;
    for (int y = 0; y < 100 && firstInk < 0; ++y) {
        for (int x = 10; x < 60; ++x) {
            if (canvas.pixelColor(x, y) == QColor(Qt::black)) {
                firstInk = y;
                break;
            }
        }
    }
    EXPECT_GE(firstInk, 60);
    EXPECT_LT(firstInk, 66);
}

TEST(Noise, TilesAnchoredAtTheOrigin)
{
    EXPECT_EQ(CWUtil::noiseTiles(QSizeF(600, 400)).size(), 6);
    EXPECT_EQ(CWUtil::noiseTiles(QSizeF(256, 256)), QList<QRectF>{QRectF(0, 0, 256, 256)});
    EXPECT_EQ(CWUtil::noiseTiles(QSizeF(257, 256)),
              (QList<QRectF>{QRectF(0, 0, 256, 256), QRectF(256, 0, 256, 256)}));
    EXPECT_TRUE(CWUtil::noiseTiles(QSizeF(0, 100)).isEmpty());
}

TEST(Noise, IsMultipliedAtTheGivenOpacity)
{
    QImage canvas = blankImage(300, 300, Qt::white);
    QPainter painter(&canvas);
    CWUtil::drawNoise(painter, CWUtil::noiseImage(), QSizeF(300, 300), 0.2);
    CWUtil::drawNoise(painter, QImage(), QSizeF(300, 300), 1.0); // no texture: nothing drawn
    painter.end();

    int darkest = 255;
    int darkened = 0;
    for (int y = 0; y < 300; y += 3) {
        for (int x = 0; x < 300; x += 3) {
            const int value = qRed(canvas.pixel(x, y));
            darkest = qMin(darkest, value);
            darkened += value < 255;
        }
    }
    EXPECT_GE(darkest, 255 * 0.8 - 1); // at most 20 % darker
    EXPECT_GT(darkened, 5000);         // a grain all over, the tile past 256 included
    EXPECT_EQ(qAlpha(canvas.pixel(299, 299)), 255);
}
