// A PDF page seen as a sheet of tiles: which part of the page a tile shows, and how it is drawn.
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWUtil.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A colour that names its cell, so a rendered tile tells which part of the page it shows.
QColor cellColor(int column, int row)
{
    return QColor(40 + column * 50, 40 + row * 50, 200);
}

bool isTransparent(const QImage &image)
{
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return std::all_of(premultiplied.constBits(), premultiplied.constBits() + premultiplied.sizeInBytes(),
                       [](uchar byte) { return byte == 0; });
}

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

// A page of 4 x 4 cells of 32 points, each filled with its own colour; cell (2, 1) also has a
// 1-point black line across its top and a transparent bottom half. Rows count from the bottom.
class AtlasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString path = _dir.filePath(u"cells.pdf"_s);
        QPdfWriter writer(path);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QSizeF(128, 128), QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        QPainter painter(&writer);
        for (int column = 0; column < 4; ++column) {
            for (int row = 0; row < 4; ++row)
                painter.fillRect(QRectF(column * 32, (3 - row) * 32, 32, column == 2 && row == 1 ? 16 : 32),
                                 cellColor(column, row)); // the writer's y grows downwards
        }
        painter.fillRect(QRectF(64, 64, 32, 1), Qt::black);
        writer.newPage(); // a second page, empty
        painter.end();

        _document = std::make_shared<QPdfDocument>();
        ASSERT_EQ(_document->load(path), QPdfDocument::Error::None);
        _atlas.setDocument(_document, 1);
        _atlas.setTileSize(QSizeF(32, 32));
    }

    QTemporaryDir _dir;
    std::shared_ptr<QPdfDocument> _document;
    CWPDFAtlas _atlas;
};

} // namespace

TEST_F(AtlasTest, TilesCountColumnsFromTheLeftAndRowsFromTheBottomAndAreUpright)
{
    for (auto [column, row] : {std::pair{0, 0}, {1, 3}, {3, 0}, {0, 3}, {2, 2}}) {
        const QImage image = _atlas.tileAtX(column, row)->cgImage();
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        // The whole cell and nothing of its neighbours.
        for (QPoint point : {QPoint(0, 0), QPoint(31, 31), QPoint(0, 31), QPoint(31, 0)})
            EXPECT_EQ(image.pixelColor(point), cellColor(column, row)) << column << "," << row << " at " << point.x() << "," << point.y();
    }
    const QImage image = _atlas.tileAtX(2, 1)->cgImage();
    EXPECT_EQ(image.pixelColor(16, 0), QColor(Qt::black)); // the line along the top
    EXPECT_EQ(image.pixelColor(16, 8), cellColor(2, 1));
    EXPECT_EQ(qAlpha(image.pixel(16, 24)), 0); // the empty bottom half
}

TEST_F(AtlasTest, BitmapsHonourTheDevicePixelRatioAndAreRenderedOncePerRatio)
{
    const auto tile = _atlas.tileAtX(2, 1);
    const QImage sharp = tile->cgImage(2.0);
    EXPECT_EQ(sharp.size(), QSize(64, 64));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(32, 32));
    // The 1-point line is two pixels thick, the cell's colour starts right below it.
    EXPECT_EQ(sharp.pixelColor(30, 1), QColor(Qt::black));
    EXPECT_EQ(sharp.pixelColor(30, 2), cellColor(2, 1));

    EXPECT_EQ(tile->cgImage(2.0).cacheKey(), sharp.cacheKey());
    const qint64 single = tile->cgImage().cacheKey();
    EXPECT_NE(single, sharp.cacheKey());
    EXPECT_EQ(tile->cgImage().cacheKey(), single);
}

TEST_F(AtlasTest, TileLandsOnThePaintersOriginInYUpCoordinatesInEveryKnownStyle)
{
    QImage drawn = canvas(100);
    QPainter painter(&drawn);
    CWUtil::flipToYUp(painter, 100);
    painter.translate(10, 20);
    _atlas.drawTileAtX(2, 1, CWPDFAtlas::Normal, painter);
    painter.end();
    // y-up (10..42, 20..52) is y-down (10..42, 48..80); the line is at the tile's top.
    EXPECT_EQ(drawn.pixelColor(20, 48), QColor(Qt::black));
    EXPECT_EQ(drawn.pixelColor(20, 55), cellColor(2, 1));
    for (QPoint outside : {QPoint(20, 75), QPoint(9, 55), QPoint(42, 55), QPoint(20, 47)})
        EXPECT_EQ(drawn.pixelColor(outside), QColor(Qt::white)) << outside.x() << "," << outside.y();

    const auto draw = [this](int style) {
        QImage image = canvas(32);
        QPainter stylePainter(&image);
        CWUtil::flipToYUp(stylePainter, 32);
        _atlas.drawTileAtX(3, 2, style, stylePainter);
        return image;
    };
    const QImage normal = draw(CWPDFAtlas::Normal);
    EXPECT_EQ(normal.pixelColor(5, 5), cellColor(3, 2));
    EXPECT_EQ(draw(CWPDFAtlas::GradientGrey), normal);
    EXPECT_EQ(draw(CWPDFAtlas::GradientLit), normal);
    EXPECT_EQ(draw(3), canvas(32)) << "other styles draw nothing";
}

TEST_F(AtlasTest, WithoutAPageOrBeyondItTilesAreTransparent)
{
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(7, 1)->cgImage()));
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(1, 9)->cgImage()));
    _atlas.setDocument(_document, 2); // an empty page
    EXPECT_TRUE(_atlas.hasPage());
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(0, 0)->cgImage()));
    for (unsigned pageNo : {0u, 3u}) {
        _atlas.setDocument(_document, pageNo);
        EXPECT_FALSE(_atlas.hasPage());
        EXPECT_TRUE(isTransparent(_atlas.tileAtX(1, 1)->cgImage()));
        EXPECT_EQ(_atlas.tileAtX(1, 1)->cgImage().size(), QSize(32, 32));
    }
    _atlas.setDocument(nullptr, 1);
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(0, 0)->cgImage()));
}

TEST_F(AtlasTest, OtherTileSizesCutTheSamePage)
{
    _atlas.setTileSize(QSizeF(64, 32.7)); // bitmaps take whole pixels, truncated
    const QImage image = _atlas.tileAtX(1, 0)->cgImage();
    EXPECT_EQ(image.size(), QSize(64, 32));
    EXPECT_EQ(image.pixelColor(8, 16), cellColor(2, 0));
    EXPECT_EQ(image.pixelColor(56, 16), cellColor(3, 0));
}

TEST(IconAtlas, RowThreeHoldsFiveDistinctIcons)
{
    CWPDFAtlas atlas;
    atlas.setDocument(CWUtil::pdfResource(u"icons"_s), 1);
    atlas.setTileSize(QSizeF(32, 32));
    QList<QImage> icons;
    for (unsigned column = 0; column < 5; ++column) {
        const QImage icon = atlas.tileAtX(column, 3)->cgImage();
        int ink = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                ink += qAlpha(icon.pixel(x, y)) > 128;
        }
        EXPECT_TRUE(ink > 100 && ink < 700) << "column " << column << ": " << ink;
        EXPECT_FALSE(icons.contains(icon));
        icons.append(icon);
    }
}
