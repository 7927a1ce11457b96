#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWUtil.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int kColumns = 4;
constexpr int kRows = 4;

// A colour that names its cell, so a rendered tile tells which part of the page it shows.
QColor cellColor(int column, int row)
{
    return QColor(40 + column * 50, 40 + row * 50, 200);
}

// A page of 4 x 4 cells of 32 points, each cell filled with its own colour; cell (2, 1) also has a
// 1-point black line across its top and a transparent bottom half. Rows count from the bottom.
class AtlasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(_dir.isValid());
        const QString path = _dir.filePath(QStringLiteral("cells.pdf"));
        QPdfWriter writer(path);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QSizeF(kColumns * 32, kRows * 32), QPageSize::Point));
        writer.setPageMargins(QMarginsF());
        QPainter painter(&writer);
        for (int column = 0; column < kColumns; ++column) {
            for (int row = 0; row < kRows; ++row) {
                const qreal top = (kRows - 1 - row) * 32; // the writer's y grows downwards
                const qreal height = column == 2 && row == 1 ? 16 : 32;
                painter.fillRect(QRectF(column * 32, top, 32, height), cellColor(column, row));
            }
        }
        painter.fillRect(QRectF(2 * 32, (kRows - 2) * 32, 32, 1), Qt::black);
        writer.newPage(); // a second page, empty
        painter.end();

        _document = std::make_shared<QPdfDocument>();
        ASSERT_EQ(_document->load(path), QPdfDocument::Error::None);
        _atlas.setDocument(_document, 1);
        _atlas.setTileSize(QSizeF(32, 32));
    }

    static bool isTransparent(const QImage &image)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) != 0)
                    return false;
            }
        }
        return true;
    }

    QTemporaryDir _dir;
    std::shared_ptr<QPdfDocument> _document;
    CWPDFAtlas _atlas;
};

} // namespace

TEST_F(AtlasTest, TilesCountColumnsFromTheLeftAndRowsFromTheBottom)
{
    for (auto [column, row] : {std::pair{0, 0}, {1, 3}, {3, 0}, {0, 3}, {2, 2}}) {
        const auto tile = _atlas.tileAtX(column, row);
        EXPECT_EQ(tile->pdfAtlas(), &_atlas);
        const QImage image = tile->cgImage();
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        // The whole cell and nothing of its neighbours.
        for (QPoint point : {QPoint(0, 0), QPoint(16, 16), QPoint(31, 31), QPoint(0, 31), QPoint(31, 0)})
            EXPECT_EQ(image.pixelColor(point), cellColor(column, row)) << column << "," << row << " at " << point.x() << "," << point.y();
    }
}

TEST_F(AtlasTest, TileImagesAreUprightAndTransparentWithoutInk)
{
    const QImage image = _atlas.tileAtX(2, 1)->cgImage();
    EXPECT_EQ(image.pixelColor(16, 0), QColor(Qt::black)); // the line along the top
    EXPECT_EQ(image.pixelColor(16, 8), cellColor(2, 1));
    EXPECT_EQ(qAlpha(image.pixel(16, 24)), 0); // the empty bottom half
}

TEST_F(AtlasTest, BitmapHonoursTheDevicePixelRatio)
{
    const auto tile = _atlas.tileAtX(2, 1);
    const QImage sharp = tile->cgImage(2.0);
    EXPECT_EQ(sharp.size(), QSize(64, 64));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(32, 32));
    // The 1-point line is two pixels thick, the cell's colour starts right below it.
    EXPECT_EQ(sharp.pixelColor(30, 0), QColor(Qt::black));
    EXPECT_EQ(sharp.pixelColor(30, 1), QColor(Qt::black));
    EXPECT_EQ(sharp.pixelColor(30, 2), cellColor(2, 1));
    EXPECT_EQ(qAlpha(sharp.pixel(30, 33)), 0);

    // Rendered once per ratio.
    EXPECT_EQ(tile->cgImage(2.0).cacheKey(), sharp.cacheKey());
    const qint64 single = tile->cgImage().cacheKey();
    EXPECT_NE(single, sharp.cacheKey());
    EXPECT_EQ(tile->cgImage().cacheKey(), single);
}

TEST_F(AtlasTest, TileLandsOnThePaintersOriginInYUpCoordinates)
{
    QImage canvas(100, 100, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    CWUtil::flipToYUp(painter, 100);
    painter.translate(10, 20);
    _atlas.drawTileAtX(2, 1, CWPDFAtlas::Normal, painter);
    painter.end();

    // y-up (10..42, 20..52) is y-down (10..42, 48..80); the line is at the tile's top.
    EXPECT_EQ(canvas.pixelColor(20, 48), QColor(Qt::black));
    EXPECT_EQ(canvas.pixelColor(20, 55), cellColor(2, 1));
    EXPECT_EQ(canvas.pixelColor(20, 75), QColor(Qt::white)); // transparent part
    EXPECT_EQ(canvas.pixelColor(9, 55), QColor(Qt::white));
    EXPECT_EQ(canvas.pixelColor(42, 55), QColor(Qt::white));
    EXPECT_EQ(canvas.pixelColor(20, 47), QColor(Qt::white));
}

TEST_F(AtlasTest, KnownStylesDrawAlikeAndOthersDrawNothing)
{
    auto draw = [this](int style) {
        QImage canvas(32, 32, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        CWUtil::flipToYUp(painter, 32);
        _atlas.drawTileAtX(3, 2, style, painter);
        return canvas;
    };
    const QImage normal = draw(CWPDFAtlas::Normal);
    EXPECT_EQ(normal.pixelColor(5, 5), cellColor(3, 2));
    EXPECT_EQ(draw(CWPDFAtlas::GradientGrey), normal);
    EXPECT_EQ(draw(CWPDFAtlas::GradientLit), normal);
    for (int other : {3, -1}) {
        QImage untouched(32, 32, QImage::Format_ARGB32_Premultiplied);
        untouched.fill(Qt::white);
        EXPECT_EQ(draw(other), untouched);
    }
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
        const QImage image = _atlas.tileAtX(1, 1)->cgImage();
        EXPECT_EQ(image.size(), QSize(32, 32));
        EXPECT_TRUE(isTransparent(image));
    }
    _atlas.setDocument(nullptr, 1);
    EXPECT_FALSE(_atlas.hasPage());
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
    atlas.setDocument(CWUtil::pdfResource(QStringLiteral("icons")), 1);
    atlas.setTileSize(QSizeF(32, 32));
    QList<QImage> icons;
    for (unsigned column = 0; column < 5; ++column) {
        const QImage icon = atlas.tileAtX(column, 3)->cgImage();
        int ink = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                ink += qAlpha(icon.pixel(x, y)) > 128;
        }
        EXPECT_GT(ink, 100) << "column " << column;
        EXPECT_LT(ink, 700) << "column " << column;
        EXPECT_FALSE(icons.contains(icon));
        icons.append(icon);
    }
}
