#include "CWShadowTextField.h"
#include "CWStatusView.h"
#include "CWStatusWindow.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage render(QWidget &widget, const QColor &background = Qt::transparent)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void sendMouse(QWidget &widget, QEvent::Type type, const QPoint &local, Qt::MouseButtons buttons)
{
    const QPointF global = widget.mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

int countPixels(const QImage &image, const std::function<bool(QRgb)> &matches)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += matches(image.pixel(x, y));
    }
    return count;
}

} // namespace

TEST(StatusView, DarkRoundedBackgroundWithTransparentCorners)
{
    ConsoleCapture console;
    CWStatusView view;
    view.resize(600, 400);
    const QImage image = render(view);

    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(599, 399)), 0);
    EXPECT_EQ(qAlpha(image.pixel(3, 3)), 0); // inside the 18-point corner's cut
    EXPECT_EQ(qAlpha(image.pixel(10, 10)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 200)), 255); // the straight edges reach the bounds
    EXPECT_EQ(qAlpha(image.pixel(300, 0)), 255);

    // The cast is clear at the middle of the bottom edge: "202122" darkened by the grain, at most 20 %.
    const QColor bottom = image.pixelColor(300, 398);
    EXPECT_LE(bottom.red(), 32);
    EXPECT_GE(bottom.red(), 25);
    EXPECT_LE(bottom.blue(), 34);
    // ... and deepens towards the top corners, warm (more red than blue).
    const QColor corner = image.pixelColor(25, 25);
    EXPECT_GT(corner.red(), bottom.red() + 30);
    EXPECT_GT(corner.red(), corner.blue() + 5);
    EXPECT_TRUE(console.lines().isEmpty());
}

TEST(StatusView, CastCentreIsBelowAFlatView)
{
    EXPECT_EQ(CWStatusView::castCentre(QSizeF(600, 400)), QPointF(300, 0));
    EXPECT_EQ(CWStatusView::castCentre(QSizeF(600, 200)), QPointF(300, -100));
}

TEST(StatusView, ResizingLeavesSubviewsWhereTheyAre)
{
    CWStatusView view;
    view.resize(400, 300);
    QWidget child(&view);
    child.setGeometry(20, 30, 100, 40);
    view.resize(700, 500);
    EXPECT_EQ(child.geometry(), QRect(20, 30, 100, 40));
}

TEST(StatusWindow, IsTranslucentAndDraggedByItsBackground)
{
    CWStatusWindow window;
    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(window.isWindow());
    window.setGeometry(100, 100, 300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    sendMouse(window, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    sendMouse(window, QEvent::MouseMove, QPoint(60, 40), Qt::LeftButton);
    EXPECT_EQ(window.pos(), start + QPoint(50, 30));
    sendMouse(window, QEvent::MouseButtonRelease, QPoint(60, 40), Qt::NoButton);
    sendMouse(window, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(50, 30));
}

TEST(ShadowTextField, FieldsShareTheShadowUntilOneIsReplaced)
{
    CWShadowTextField first;
    CWShadowTextField second;
    const CWShadow &shared = CWShadowTextField::sharedShadow();
    EXPECT_EQ(&shared, &CWShadowTextField::sharedShadow());
    EXPECT_EQ(shared.offset, QPointF(0, 1)); // one point down
    EXPECT_EQ(shared.blurRadius, 0.0);
    EXPECT_EQ(shared.color, QColor::fromRgbF(1, 1, 1, 0.8f));
    EXPECT_EQ(first.shadow(), shared);

    const CWShadow red{QPointF(0, 2), 0.0, Qt::red};
    first.setShadow(red);
    EXPECT_EQ(first.shadow(), red);
    EXPECT_EQ(second.shadow(), shared);
}

TEST(ShadowTextField, TextIsDrawnWithItsShadowBelow)
{
    auto redPixels = [](const QImage &image) {
        return countPixels(image, [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; });
    };
    auto lightPixels = [](const QImage &image) {
        return countPixels(image, [](QRgb p) { return qGray(p) > 140; });
    };
    // The shadow is drawn when the field is painted as part of its window.
    QWidget window;
    window.resize(200, 40);
    CWShadowTextField field(QStringLiteral("Cycle count"), &window);
    field.setFont(CWUtil::boldAppFontOfSize(20));
    field.resize(200, 40);

    // The shared shadow: light pixels appear on a mid-grey background, none of them red.
    const QImage shared = render(window, QColor(100, 100, 100));
    EXPECT_GT(lightPixels(shared), 20);
    EXPECT_EQ(redPixels(shared), 0);

    field.setShadow({QPointF(0, 1), 0.0, Qt::red});
    const QImage replaced = render(window, QColor(100, 100, 100));
    EXPECT_GT(redPixels(replaced), 20);
    // Only below the text: the shadow pixels sit under ink pixels.
    int redBelowInk = 0;
    for (int y = 1; y < replaced.height(); ++y) {
        for (int x = 0; x < replaced.width(); ++x) {
            const QRgb p = replaced.pixel(x, y);
            const bool red = qRed(p) > 200 && qGreen(p) < 60;
            redBelowInk += red && qGray(replaced.pixel(x, y - 1)) < 60;
        }
    }
    EXPECT_GT(redBelowInk, 10);
}
