// The page list: how it draws its rows, and how clicks and arrow keys select them.
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWPageSelectorView.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QKeyEvent>

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

// Pixels in a rectangle darker than `below` in every channel.
int darkPixels(const QImage &image, const QRect &rect, int below = 130)
{
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += qMax(qMax(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y))), qBlue(image.pixel(x, y))) < below;
    }
    return count;
}

class PageSelectorTest : public ::testing::Test {
protected:
    PageSelectorTest()
    {
        _atlas.setDocument(CWUtil::pdfResource(u"icons"_s), 1);
        _atlas.setTileSize(QSizeF(32, 32));
        _view = new CWPageSelectorView(&_parent);
        _view->resize(200, 300);
        _view->setRowSpecs({row(u"Monitor"_s, 1), row(u"Graph"_s, 2), row(u"Comparisons"_s, 4),
                            row(u"Battery Data"_s, 0), row(u"Event Log"_s, 3)});
        _view->setDelegate(&_delegate);
    }
    QVariantMap row(const QString &name, unsigned icon) const
    {
        return {{u"name"_s, name}, {u"image"_s, QVariant::fromValue(_atlas.tileAtX(icon, 3))}};
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

TEST_F(PageSelectorTest, DrawsEachRowsIconAndNameWithTheSelectedRowStandingOut)
{
    _view->setSelectedIndex(2);
    const QImage image = render();
    EXPECT_EQ(_view->selectedIndex(), 2) << "drawing keeps the selection";
    for (int row = 0; row < 5; ++row) {
        const int top = row * 44; // rows of 44 points
        EXPECT_GT(darkPixels(image, QRect(6, top + 6, 32, 32)), 60) << row << ": icon 6 points in";
        EXPECT_EQ(darkPixels(image, QRect(0, top + 1, 5, 42)), 0) << row;
        EXPECT_GT(darkPixels(image, QRect(50, top + 8, 120, 28), 60), 20) << row << ": name from x 50";
        EXPECT_EQ(darkPixels(image, QRect(40, top + 2, 9, 40), 60), 0) << row;
        const bool stronger = qGray(image.pixel(180, top + 22)) < qGray(image.pixel(180, row == 0 ? 66 : 22)) - 20;
        EXPECT_EQ(stronger, row == 2) << row << ": only the selected row stands out";
    }
    EXPECT_LT(qGray(image.pixel(180, 43)), qGray(image.pixel(180, 42))) << "a separator under each row";
    EXPECT_LE(std::abs(qGray(image.pixel(180, 263)) - qGray(image.pixel(180, 264))), 1) << "no rows below the last";
    EXPECT_LT(qGray(image.pixel(199, 250)), qGray(image.pixel(180, 250))) << "a border down the right edge";

    // At twice the density the icon has about four times the dark pixels: it is drawn sharp.
    const int logical = darkPixels(image, QRect(6, 6, 32, 32));
    EXPECT_NEAR(darkPixels(render(2.0), QRect(12, 12, 64, 64)), 4 * logical, logical);
    _view->setRowSpecs({QVariantMap{{u"name"_s, u"Only a name"_s}}, QVariantMap{}});
    EXPECT_EQ(darkPixels(render(), QRect(0, 0, 45, 88)), 0) << "no icon without an image";
}

TEST_F(PageSelectorTest, ArrowKeysMoveWithinTheRowsAndPassTheRestOnAndClicksAndTheIndexAlwaysTellTheDelegate)
{
    EXPECT_EQ(_view->focusPolicy(), Qt::StrongFocus) << "the keyboard reaches the list";
    QTest::keyClick(_view, Qt::Key_Down);
    EXPECT_TRUE(_delegate.pages.isEmpty()) << "never from an empty selection";
    _view->setSelectedIndex(0);
    _delegate.pages.clear();
    _parent.keys.clear();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up})
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(_view, key);
    QTest::keyClick(_view, Qt::Key_A);
    EXPECT_EQ(_delegate.pages, (QList<qint64>{1, 2, 3, 4, 3, 2, 1, 0}));
    EXPECT_EQ(_parent.keys, (QList<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_A})) << "past the ends: passed on";

    _delegate.pages.clear();
    for (int y : {100, 100, 5, 250}) // the last below the last row
        QTest::mouseClick(_view, Qt::LeftButton, {}, QPoint(100, y));
    _view->setSelectedIndex(3);
    _view->setSelectedIndex(9); // not checked against the rows
    EXPECT_EQ(_delegate.pages, (QList<qint64>{2, 2, 0, 3, 9}));
    _view->setDelegate(nullptr);
    _view->setSelectedIndex(1); // no delegate: nothing to tell
    EXPECT_EQ(_view->selectedIndex(), 1);
    _view->setRowHeight(0);
    EXPECT_EQ(_view->rowForPoint(QPointF(10, 0)), -1);
}
