#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWPageSelectorView.h"
#include "CWUtil.h"

#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct RecordingDelegate : CWPageSelectorViewDelegate {
    void pageSelector(CWPageSelectorView *selector, qint64 selectedPage) override
    {
        EXPECT_NE(selector, nullptr);
        pages.append(selectedPage);
    }
    QList<qint64> pages;
};

// Receives the keys the page list passes on.
struct KeyRecorder : QWidget {
    void keyPressEvent(QKeyEvent *event) override { keys.append(event->key()); }
    QList<int> keys;
};

// The main window's five rows.
QVariantList pageRows(const CWPDFAtlas &atlas)
{
    const std::pair<const char *, unsigned> rows[] = {
        {"Monitor", 1}, {"Graph", 2}, {"Comparisons", 4}, {"Battery Data", 0}, {"Event Log", 3}};
    QVariantList specs;
    for (const auto &[name, column] : rows)
        specs.append(QVariantMap{{QStringLiteral("name"), QString::fromLatin1(name)},
                                 {QStringLiteral("description"), QVariant()},
                                 {QStringLiteral("image"), QVariant::fromValue(atlas.tileAtX(column, 3))}});
    return specs;
}

class PageSelectorTest : public ::testing::Test {
protected:
    PageSelectorTest()
    {
        _atlas.setDocument(CWUtil::pdfResource(QStringLiteral("icons")), 1);
        _atlas.setTileSize(QSizeF(32, 32));
        _parent.resize(200, 300);
        _view = new CWPageSelectorView(&_parent);
        _view->resize(200, 300);
        _view->setRowSpecs(pageRows(_atlas));
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

    // Counts pixels in a rectangle darker than `below` in every channel.
    static int darkPixels(const QImage &image, const QRect &rect, int below)
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

    CWPDFAtlas _atlas;
    KeyRecorder _parent;
    CWPageSelectorView *_view;
    RecordingDelegate _delegate;
};

void expectNear(const QColor &actual, const QColor &expected, int tolerance = 2)
{
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << actual.name().toStdString();
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << actual.name().toStdString();
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << actual.name().toStdString();
}

} // namespace

TEST(PageSelectorDefaults, NoRowsNoSelectionRowsOf44)
{
    CWPageSelectorView view;
    EXPECT_EQ(view.selectedIndex(), -1);
    EXPECT_DOUBLE_EQ(view.rowHeight(), 44.0);
    EXPECT_TRUE(view.rowSpecs().isEmpty());
    EXPECT_EQ(view.gradient().size(), 2);
    EXPECT_EQ(view.focusPolicy(), Qt::StrongFocus);
    view.setSelectedIndex(2); // no delegate: nothing to tell
    EXPECT_EQ(view.selectedIndex(), 2);
}

TEST_F(PageSelectorTest, SelectionSurvivesTheFirstDraw)
{
    _view->setSelectedIndex(0);
    render();
    EXPECT_EQ(_view->selectedIndex(), 0);
}

TEST_F(PageSelectorTest, DrawsBackgroundRowsSeparatorsAndBorder)
{
    _view->setSelectedIndex(2);
    const QImage image = render();

    // Background gradient: its start colour at the bottom, towards its end colour at the top.
    expectNear(image.pixelColor(150, 299), QColor(210, 217, 224));
    expectNear(image.pixelColor(150, 30), QColor(230, 234, 239), 3);

    // Selected row 2 (y 88..131): its gradient, bottom colour at the bottom, and both lines around
    // it in the gradient's first colour.
    expectNear(image.pixelColor(150, 130), QColor(131, 151, 185), 3);
    expectNear(image.pixelColor(150, 89), QColor(176, 190, 216), 3);
    EXPECT_EQ(image.pixelColor(150, 131), QColor(131, 151, 185));
    EXPECT_EQ(image.pixelColor(150, 87), QColor(131, 151, 185));

    // Other rows: a faint dark line along their bottom edge only.
    const QColor aboveSeparator = image.pixelColor(150, 42);
    const QColor separator = image.pixelColor(150, 43);
    EXPECT_NEAR(separator.red(), aboveSeparator.red() * 0.87, 2);
    EXPECT_NEAR(separator.blue(), aboveSeparator.blue() * 0.87, 2);
    EXPECT_LT(image.pixelColor(150, 219).red(), image.pixelColor(150, 218).red());
    EXPECT_EQ(image.pixelColor(150, 221), image.pixelColor(150, 222)); // no rows below the last

    // A light grey border down the right edge, over the rows.
    for (int y : {0, 100, 131, 299})
        EXPECT_EQ(image.pixelColor(199, y), QColor(153, 153, 153));
}

TEST_F(PageSelectorTest, DrawsEmbossedIconsAndNames)
{
    const QImage image = render();
    for (int row = 0; row < 5; ++row) {
        const int top = row * 44;
        // Icon in the square at the row's left end, its corner 6 points in: dark body ...
        EXPECT_GT(darkPixels(image, QRect(6, top + 6, 32, 32), 130), 60) << row;
        EXPECT_EQ(darkPixels(image, QRect(0, top + 1, 5, 42), 130), 0) << row;
        // ... with a white edge showing below it somewhere, lighter than the background.
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
}

TEST_F(PageSelectorTest, RowsWithoutNameOrImageStayEmpty)
{
    _view->setRowSpecs({QVariantMap{{QStringLiteral("name"), QStringLiteral("Only a name")}},
                        QVariantMap{{QStringLiteral("image"), QVariant::fromValue(_atlas.tileAtX(2, 3))}},
                        QVariantMap{}});
    const QImage image = render();
    EXPECT_EQ(darkPixels(image, QRect(6, 6, 32, 32), 130), 0);
    EXPECT_GT(darkPixels(image, QRect(50, 8, 120, 28), 60), 20);
    EXPECT_GT(darkPixels(image, QRect(6, 44 + 6, 32, 32), 130), 60);
    EXPECT_EQ(darkPixels(image, QRect(50, 44 + 8, 120, 28), 60), 0);
    EXPECT_EQ(darkPixels(image, QRect(0, 88 + 1, 190, 42), 130), 0);
}

TEST_F(PageSelectorTest, IconsAreSharpOnHighDensityScreens)
{
    const QImage image = render(2.0);
    EXPECT_EQ(image.size(), QSize(400, 600));
    // The icon has as many dark device pixels as four times the logical ones.
    const int logical = darkPixels(render(), QRect(6, 6, 32, 32), 130);
    const int device = darkPixels(image, QRect(12, 12, 64, 64), 130);
    EXPECT_NEAR(device, 4 * logical, logical);
}

TEST_F(PageSelectorTest, HitTestingByRowBands)
{
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), 0); // the top edge
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 43.9)), 0);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 44)), 1);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 219.9)), 4);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 220)), -1); // below the last row
    EXPECT_EQ(_view->rowForPoint(QPointF(10, -0.5)), -1);
    _view->setRowHeight(30);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 30)), 1);
    _view->setRowSpecs({});
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), -1);
    _view->setRowHeight(0);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), -1);
}

TEST_F(PageSelectorTest, ClicksSelectRowsAndRepeatTheSelection)
{
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(_delegate.pages, (QList<qint64>{2, 2, 0}));
    EXPECT_EQ(_view->selectedIndex(), 0);

    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 250)); // below the last row
    EXPECT_EQ(_delegate.pages.size(), 3);
    EXPECT_EQ(_view->selectedIndex(), 0);

    _view->setRowSpecs({});
    QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(_delegate.pages.size(), 3);
}

TEST_F(PageSelectorTest, SettingTheIndexAlwaysTellsTheDelegate)
{
    _view->setSelectedIndex(3);
    _view->setSelectedIndex(3);
    _view->setSelectedIndex(9); // not checked against the rows
    EXPECT_EQ(_delegate.pages, (QList<qint64>{3, 3, 9}));
}

TEST_F(PageSelectorTest, ArrowKeysMoveWithinTheRowsAndPassTheRestOn)
{
    _view->setSelectedIndex(0);
    _delegate.pages.clear();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(_view, Qt::Key_Down);
    EXPECT_EQ(_delegate.pages, (QList<qint64>{1, 2, 3, 4}));
    EXPECT_EQ(_parent.keys, QList<int>{Qt::Key_Down}); // past the last row: passed on

    for (int i = 0; i < 5; ++i)
        QTest::keyClick(_view, Qt::Key_Up);
    EXPECT_EQ(_delegate.pages, (QList<qint64>{1, 2, 3, 4, 3, 2, 1, 0}));
    EXPECT_EQ(_parent.keys, (QList<int>{Qt::Key_Down, Qt::Key_Up}));

    QTest::keyClick(_view, Qt::Key_A);
    EXPECT_EQ(_parent.keys.last(), int(Qt::Key_A));
    EXPECT_EQ(_view->selectedIndex(), 0);
}

TEST_F(PageSelectorTest, ArrowKeysNeverStartFromAnEmptySelection)
{
    QTest::keyClick(_view, Qt::Key_Down);
    QTest::keyClick(_view, Qt::Key_Up);
    EXPECT_TRUE(_delegate.pages.isEmpty());
    EXPECT_EQ(_view->selectedIndex(), -1);

    _view->setRowSpecs({});
    _view->setSelectedIndex(0);
    QTest::keyClick(_view, Qt::Key_Down); // no rows to move to
    EXPECT_EQ(_delegate.pages, QList<qint64>{0});
}
