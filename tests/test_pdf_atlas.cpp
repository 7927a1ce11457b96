// A PDF page seen as a sheet of tiles: which part of the page a tile shows, and how it is drawn.
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>

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

TEST_F(AtlasTest, TilesShowTheirCellUprightSharpAndRenderedOncePerRatioAndNothingBeyondThePage)
{
    for (auto [column, row] : {std::pair{0, 0}, {1, 3}, {3, 0}, {2, 2}}) {
        const QImage image = _atlas.tileAtX(column, row)->cgImage();
        ASSERT_EQ(image.size(), QSize(32, 32));
        for (QPoint corner : {QPoint(0, 0), QPoint(31, 31)}) // the whole cell, nothing of its neighbours
            EXPECT_EQ(image.pixelColor(corner), cellColor(column, row)) << column << "," << row;
    }
    const auto tile = _atlas.tileAtX(2, 1);
    const QImage image = tile->cgImage();
    EXPECT_EQ(image.pixelColor(16, 0), QColor(Qt::black)); // the line along the top
    EXPECT_EQ(qAlpha(image.pixel(16, 24)), 0);             // the empty bottom half
    const QImage sharp = tile->cgImage(2.0);
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(32, 32));
    EXPECT_EQ(QList<QColor>({sharp.pixelColor(30, 1), sharp.pixelColor(30, 2)}),
              QList<QColor>({Qt::black, cellColor(2, 1)}))
        << "the 1-point line is two pixels thick";
    EXPECT_EQ(tile->cgImage(2.0).cacheKey(), sharp.cacheKey()) << "rendered once per ratio";

    _atlas.setTileSize(QSizeF(64, 32.7)); // bitmaps take whole pixels, truncated
    const QImage wide = _atlas.tileAtX(1, 0)->cgImage();
    EXPECT_EQ(wide.size(), QSize(64, 32));
    EXPECT_EQ(QList<QColor>({wide.pixelColor(8, 16), wide.pixelColor(56, 16)}),
              QList<QColor>({cellColor(2, 0), cellColor(3, 0)}));

    // Without a page, or beyond it, tiles are transparent.
    _atlas.setTileSize(QSizeF(32, 32));
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(7, 1)->cgImage()));
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(1, 9)->cgImage()));
    for (unsigned pageNo : {2u, 0u, 3u}) { // an empty page, and none
        _atlas.setDocument(_document, pageNo);
        EXPECT_TRUE(isTransparent(_atlas.tileAtX(1, 1)->cgImage())) << pageNo;
        EXPECT_EQ(_atlas.tileAtX(1, 1)->cgImage().size(), QSize(32, 32));
    }
    _atlas.setDocument(nullptr, 1);
    EXPECT_FALSE(_atlas.hasPage());
    EXPECT_TRUE(isTransparent(_atlas.tileAtX(0, 0)->cgImage()));
}

TEST_F(AtlasTest, TileLandsOnThePaintersOriginInYUpCoordinates)
{
    QImage drawn(100, 100, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::white);
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
}
