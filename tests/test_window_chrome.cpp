// The window's frame: the dark rounded background, dragging the frameless window, engraved text.
#include "CWShadowTextField.h"
#include "CWStatusView.h"
#include "CWStatusWindow.h"
#include "CWUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QMouseEvent>

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
    QMouseEvent event(type, QPointF(local), widget.mapToGlobal(QPointF(local)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(StatusView, RoundedBackgroundWithTransparentCornersAndACast)
{
    ConsoleCapture console;
    CWStatusView view;
    view.resize(600, 400);
    QWidget child(&view);
    child.setGeometry(20, 30, 100, 40);
    const QImage image = render(view);

    for (QPoint corner : {QPoint(0, 0), QPoint(599, 399), QPoint(3, 3)}) // the last inside the 18-point corner's cut
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
    for (QPoint inside : {QPoint(10, 10), QPoint(0, 200), QPoint(300, 0)}) // the straight edges reach the bounds
        EXPECT_EQ(qAlpha(image.pixel(inside)), 255) << inside.x() << "," << inside.y();
    // The colour cast is centred on the bottom edge and deepens towards the top corners.
    EXPECT_GT(image.pixelColor(25, 25).red(), image.pixelColor(300, 398).red() + 30);
    EXPECT_TRUE(console.lines().isEmpty()) << "the grain texture loads";

    EXPECT_EQ(CWStatusView::castCentre(QSizeF(600, 400)), QPointF(300, 0));
    EXPECT_EQ(CWStatusView::castCentre(QSizeF(600, 200)), QPointF(300, -100)) << "below a flat view";
    view.resize(700, 500);
    EXPECT_EQ(child.geometry(), QRect(20, 30, 100, 40)) << "resizing leaves subviews where they are";
}

TEST(StatusWindow, IsTranslucentAndDraggedByItsBackground)
{
    CWStatusWindow window;
    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
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

TEST(ShadowTextField, TextCarriesItsShadowBelowAndOneFieldsShadowCanBeReplaced)
{
    QWidget window; // the shadow is drawn when the field is painted as part of its window
    window.resize(200, 40);
    CWShadowTextField field(u"Cycle count"_s, &window), other;
    field.setFont(CWUtil::boldAppFontOfSize(20));
    field.resize(200, 40);
    EXPECT_EQ(field.shadow(), CWShadowTextField::sharedShadow());
    field.setShadow({QPointF(0, 1), 0.0, Qt::red});
    EXPECT_EQ(other.shadow(), CWShadowTextField::sharedShadow());
    const QImage image = render(window, QColor(100, 100, 100));
    int redBelowInk = 0;
    for (int y = 1; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            redBelowInk +=
                qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 60 && qGray(image.pixel(x, y - 1)) < 60;
    }
    EXPECT_GT(redBelowInk, 10);
}
