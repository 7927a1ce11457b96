// The page list: how it draws its rows, and how clicks and arrow keys select them.
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWPageSelectorView.h"
#include "CWUtil.h"

#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct RecordingDelegate : CWPageSelectorViewDelegate {
    void pageSelector(CWPageSelectorView *, qint64 selectedPage) override { pages.append(selectedPage); }
    QList<qint64> pages;
};

// Receives the keys the page list passes on.
struct KeyRecorder : QWidget {
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
    QList<int> keys;
};

// Counts pixels in a rectangle darker than `below` in every channel.
int darkPixels(const QImage &image, const QRect &rect, int below)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += qRed(pixel) < below && qGreen(pixel) < below && qBlue(pixel) < below;
        }
    }
    return count;
}

void expectNear(const QColor &actual, const QColor &expected, int tolerance = 3)
{
    EXPECT_TRUE(std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance
                && std::abs(actual.blue() - expected.blue()) <= tolerance)
        << actual.name().toStdString() << " is not " << expected.name().toStdString();
}

class PageSelectorTest : public ::testing::Test {
protected:
    PageSelectorTest()
    {
        _atlas.setDocument(CWUtil::pdfResource(u"icons"_s), 1);
        _atlas.setTileSize(QSizeF(32, 32));
        QVariantList rows; // the main window's five
        for (const auto &[name, column] : {std::pair{u"Monitor"_s, 1u}, {u"Graph"_s, 2u}, {u"Comparisons"_s, 4u},
                                           {u"Battery Data"_s, 0u}, {u"Event Log"_s, 3u}})
            rows.append(QVariantMap{{u"name"_s, name}, {u"image"_s, QVariant::fromValue(_atlas.tileAtX(column, 3))}});
        _view = new CWPageSelectorView(&_parent);
        _view->resize(200, 300);
        _view->setRowSpecs(rows);
        _view->setDelegate(&_delegate);
    }

    QImage render(qreal devicePixelRatio = 1.0)
    {
        QImage image(_view->size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatio);
        image.fill(Qt::transparent);
        _view->render(&image);
        return image;
    }

    CWPDFAtlas _atlas;
    KeyRecorder _parent;
    CWPageSelectorView *_view;
    RecordingDelegate _delegate;
};

} // namespace

TEST_F(PageSelectorTest, DrawsBackgroundRowsSeparatorsAndBorder)
{
    _view->setSelectedIndex(2);
    const QImage image = render();
    EXPECT_EQ(_view->selectedIndex(), 2) << "drawing keeps the selection";
    // Background gradient: its start colour at the bottom, towards its end colour at the top.
    expectNear(image.pixelColor(150, 299), QColor(210, 217, 224));
    expectNear(image.pixelColor(150, 30), QColor(230, 234, 239));
    // Selected row 2 (y 88..131): its gradient, and both lines around it in the gradient's first colour.
    expectNear(image.pixelColor(150, 130), QColor(131, 151, 185));
    expectNear(image.pixelColor(150, 89), QColor(176, 190, 216));
    EXPECT_EQ(image.pixelColor(150, 131), QColor(131, 151, 185));
    EXPECT_EQ(image.pixelColor(150, 87), QColor(131, 151, 185));
    // Other rows: a faint dark line along their bottom edge only; no rows below the last.
    EXPECT_NEAR(image.pixelColor(150, 43).red(), image.pixelColor(150, 42).red() * 0.87, 2);
    EXPECT_LT(image.pixelColor(150, 219).red(), image.pixelColor(150, 218).red());
    EXPECT_EQ(image.pixelColor(150, 221), image.pixelColor(150, 222));
    // A light grey border down the right edge, over the rows.
    for (int y : {0, 100, 131, 299})
        EXPECT_EQ(image.pixelColor(199, y), QColor(153, 153, 153));
}

TEST_F(PageSelectorTest, DrawsEmbossedIconsAndNamesSharpOnEveryScreen)
{
    const QImage image = render();
    for (int row = 0; row < 5; ++row) {
        const int top = row * 44;
        // Icon in the square at the row's left end, its corner 6 points in, with a white edge.
        EXPECT_GT(darkPixels(image, QRect(6, top + 6, 32, 32), 130), 60) << row;
        EXPECT_EQ(darkPixels(image, QRect(0, top + 1, 5, 42), 130), 0) << row;
        int light = 0;
        for (int y = top + 6; y < top + 40; ++y) {
            for (int x = 6; x < 38; ++x)
                light += qGray(image.pixel(x, y)) > 245;
        }
        EXPECT_GT(light, 3) << row;
        // Name in black from x 50.
        EXPECT_GT(darkPixels(image, QRect(50, top + 8, 120, 28), 60), 20) << row;
        EXPECT_EQ(darkPixels(image, QRect(40, top + 2, 9, 40), 60), 0) << row;
    }
    // At twice the density the icon has about four times the dark pixels.
    const int logical = darkPixels(image, QRect(6, 6, 32, 32), 130);
    EXPECT_NEAR(darkPixels(render(2.0), QRect(12, 12, 64, 64), 130), 4 * logical, logical);

    _view->setRowSpecs({QVariantMap{{u"name"_s, u"Only a name"_s}},
                        QVariantMap{{u"image"_s, QVariant::fromValue(_atlas.tileAtX(2, 3))}}, QVariantMap{}});
    const QImage partial = render();
    EXPECT_EQ(darkPixels(partial, QRect(6, 6, 32, 32), 130), 0);
    EXPECT_GT(darkPixels(partial, QRect(50, 8, 120, 28), 60), 20);
    EXPECT_GT(darkPixels(partial, QRect(6, 44 + 6, 32, 32), 130), 60);
    EXPECT_EQ(darkPixels(partial, QRect(50, 44 + 8, 120, 28), 60), 0);
    EXPECT_EQ(darkPixels(partial, QRect(0, 88 + 1, 190, 42), 130), 0);
}

TEST_F(PageSelectorTest, HitTestingByRowBands)
{
    const std::pair<qreal, qint64> rows[] = {{0, 0}, {43.9, 0}, {44, 1}, {219.9, 4}, {220, -1}, {-0.5, -1}};
    for (const auto &[y, row] : rows)
        EXPECT_EQ(_view->rowForPoint(QPointF(10, y)), row) << y;
    _view->setRowHeight(30);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 30)), 1);
    _view->setRowHeight(0);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), -1);
    _view->setRowHeight(30);
    _view->setRowSpecs({});
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), -1);
}

TEST_F(PageSelectorTest, ClicksAndTheIndexAlwaysTellTheDelegate)
{
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 5));
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 250)); // below the last row
    EXPECT_EQ(_delegate.pages, (QList<qint64>{2, 2, 0}));
    EXPECT_EQ(_view->selectedIndex(), 0);

    _view->setSelectedIndex(3);
    _view->setSelectedIndex(9); // not checked against the rows
    EXPECT_EQ(_delegate.pages.mid(3), (QList<qint64>{3, 9}));
    _view->setDelegate(nullptr);
    _view->setSelectedIndex(1); // no delegate: nothing to tell
    EXPECT_EQ(_view->selectedIndex(), 1);
}

TEST_F(PageSelectorTest, ArrowKeysMoveWithinTheRowsAndPassTheRestOn)
{
    EXPECT_EQ(_view->focusPolicy(), Qt::StrongFocus) << "the keyboard reaches the list";
    QTest::keyClick(_view, Qt::Key_Down);
    EXPECT_TRUE(_delegate.pages.isEmpty()) << "never from an empty selection";
    _view->setSelectedIndex(0);
    _delegate.pages.clear();
    _parent.keys.clear();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(_view, Qt::Key_Down);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(_view, Qt::Key_Up);
    QTest::keyClick(_view, Qt::Key_A);
    EXPECT_EQ(_delegate.pages, (QList<qint64>{1, 2, 3, 4, 3, 2, 1, 0}));
    EXPECT_EQ(_parent.keys, (QList<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_A})) << "past the ends: passed on";
}
