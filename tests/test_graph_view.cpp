// The graph's layout and its drawing rules, seen on rendered images.
#include "CWCWGraphView.h"
#include "CWGraphLayout.h"
#include "CWUtil.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <gtest/gtest.h>

#include <cmath>

namespace {

const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");

CWGraphSpec series(qint32 type, const char *context, std::vector<double> values, QColor color = Qt::blue)
{
    CWGraphSpec spec{type, color, 0.7, {}, context};
    for (size_t i = 0; i < values.size(); ++i)
        spec.vertices.push_back({values.size() > 1 ? double(i) / double(values.size() - 1) : 0.0, values[i]});
    return spec;
}

// A transparent width x height image at the device pixel ratio, and a painter on it with y up.
struct Canvas {
    Canvas(int width, int height, double ratio)
        : image(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied)
    {
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        CWUtil::flipToYUp(painter, height);
    }
    QImage image;
    QPainter painter;
};

// One series drawn by the page's view into a transparent width x height image whose whole area is
// the plotting rectangle.
QImage drawn(const CWGraphSpec &spec, int width = 300, int height = 100, double ratio = 1.0)
{
    CWCWGraphView view;
    view.resize(700, 500);
    Canvas canvas(width, height, ratio);
    view.drawGraph(spec, QRectF(0, 0, width, height), canvas.painter);
    canvas.painter.end();
    return canvas.image;
}

// The colour at (x, y) in y-up coordinates.
QColor at(const QImage &image, int x, int y)
{
    return image.pixelColor(x, image.height() - 1 - y);
}

enum class Seen { Nothing, Red, Green, Orange, Blue };

Seen seen(const QColor &color)
{
    if (color.alpha() < 8)
        return Seen::Nothing;
    if (color.blue() > color.red() && color.blue() > color.green())
        return Seen::Blue;
    if (color.green() > 2 * color.red())
        return Seen::Green;
    return color.green() > color.red() / 3 ? Seen::Orange : Seen::Red;
}

// Pixels of a with no match in b at the same place or one pixel off, within what antialiasing a
// path of other vertices along the same line may change.
int unmatchedPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            int best = 255;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (b.valid(x + dx, y + dy))
                        best = std::min(best, pixelDifference(a.pixel(x, y), b.pixel(x + dx, y + dy)));
                }
            }
            count += best > 128;
        }
    }
    return count;
}

} // namespace

TEST(GraphLayout, RectanglesAndLegendsAt700By500)
{
    const CWGraphLayout layout = CWGraphLayout::forSize(QSizeF(700, 500), CWGraphMetrics());
    EXPECT_EQ(layout.botGraphBounds, QRectF(90, 120, 595, 92)) << "365 x 0.25 = 91.25 made integral";
    EXPECT_EQ(layout.topGraphBounds, QRectF(74, 212, 611, 273));
    EXPECT_EQ(layout.botGraphBG.boundingRect(), layout.botGraphBounds);
    EXPECT_EQ(layout.topGraphBG.boundingRect(), layout.topGraphBounds);
    // The volts legend runs from the top edge to its label row; the power legend starts at the zero line.
    EXPECT_EQ(layout.legendLines[CWGraphLayout::Volts].pointAtPercent(0), QPointF(15, 485));
    EXPECT_EQ(layout.legendLines[CWGraphLayout::Volts].pointAtPercent(1), QPointF(240, 15));
    EXPECT_EQ(layout.legendLines[CWGraphLayout::Draw].pointAtPercent(0), QPointF(75, 166));
    EXPECT_EQ(layout.legendLines[CWGraphLayout::Draw].pointAtPercent(1), QPointF(240, 99));
    EXPECT_EQ(layout.legendBGs[CWGraphLayout::ChargeLevel].boundingRect(), QRectF(60, 212, 40, 273));
    EXPECT_TRUE(layout.legendBGs[CWGraphLayout::Draw].isEmpty());
}

TEST(GradientView, RadialGlowRisesFromHalfAHeightBelow)
{
    const QRadialGradient glow = CWGradientView::radialGradient({}, QSizeF(300, 200));
    EXPECT_EQ(glow.center(), QPointF(150, -100));
    EXPECT_EQ(glow.focalPoint(), QPointF(150, -100));
    EXPECT_EQ(glow.centerRadius(), 300);
    EXPECT_EQ(glow.focalRadius(), 1);
}

TEST(GradientView, GrainNeedsAGradientAndUnknownTypesPaintOnlyTheGrain)
{
    struct Row {
        const char *name;
        bool hasGradient;
        qint32 type;
        double noise;
        bool red, grain;
    };
    const Row rows[] = {{"linear", true, 0, 0.0, true, false},
                        {"radial with grain", true, 1, 0.06, true, true},
                        {"unknown type", true, 5, 0.06, false, true},
                        {"no gradient", false, 0, 0.5, false, false}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        CWGradientView view;
        view.resize(64, 64);
        if (row.hasGradient)
            view.setGradient({{0.0, Qt::red}, {1.0, Qt::red}});
        view.setType(row.type);
        view.setNoise(row.noise);
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const QColor middle = image.pixelColor(32, 32);
        EXPECT_EQ(middle.red() > 150 && middle.green() < 60, row.red);
        QSet<QRgb> alongARow; // the grain varies, a gradient of one colour does not
        for (int x = 0; x < 64; ++x)
            alongARow.insert(image.pixel(x, 10));
        EXPECT_EQ(alongARow.size() > 4, row.grain);
    }
}

TEST(GraphSeries, BaseMaxCapacityAndPowerRules)
{
    struct Probe {
        int x, y; // y-up
        Seen expected;
    };
    struct Row {
        const char *name;
        CWGraphSpec spec;
        std::vector<Probe> probes;
    };
    // clang-format off
    const Row rows[] = {
        {"an area is filled above its curve", series(2, kCWGraphCxtNormal, {0.5, 0.5}),
         {{150, 90, Seen::Blue}, {150, 10, Seen::Nothing}}},
        {"a one-vertex line shows nothing", series(0, nullptr, {0.5}), {{0, 50, Seen::Nothing}, {1, 50, Seen::Nothing}}},
        {"an unknown type shows nothing", series(7, nullptr, {0.5, 0.5}), {{150, 90, Seen::Nothing}}},
        {"one capacity vertex: a flat line across, shaded above", series(2, kCWGraphCxtMaxCap, {0.5}, Qt::red),
         {{290, 50, Seen::Red}, {150, 90, Seen::Red}, {150, 40, Seen::Nothing}}},
        {"drawing: one run below the zero line", series(0, kCWGraphCxtDraw, {0.3, 0.3, 0.3, 0.3}),
         {{150, 40, Seen::Red}, {150, 60, Seen::Nothing}, {150, 25, Seen::Nothing}}},
        {"drawing then charging: two runs and a gap", series(0, kCWGraphCxtDraw, {0.3, 0.3, 0.7, 0.7}),
         {{50, 40, Seen::Red}, {150, 40, Seen::Nothing}, {150, 60, Seen::Nothing}, {250, 60, Seen::Green},
          {250, 40, Seen::Nothing}}},
        {"a charge that ends at 0 W still shows above the line",
         series(0, kCWGraphCxtDraw, {0.3, 0.3, 0.7, 0.7, 0.5, 0.3, 0.3}),
         {{25, 40, Seen::Red}, {150, 60, Seen::Green}, {150, 40, Seen::Nothing}, {275, 40, Seen::Red}}},
        {"power beyond 50 W stops at the top", series(0, kCWGraphCxtDraw, {1.5, 1.5}), {{150, 99, Seen::Green}}},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QImage image = drawn(row.spec, 300, 100);
        for (const Probe &probe : row.probes) {
            SCOPED_TRACE(testing::Message() << "at " << probe.x << ", " << probe.y);
            EXPECT_EQ(seen(at(image, probe.x, probe.y)), probe.expected);
        }
    }
    QImage blank(300, 100, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    for (const std::vector<double> &values : {std::vector<double>{0.3, 0.7, 0.3}, {0.5, 0.5, 0.5}, {0.7}})
        EXPECT_TRUE(drawn(series(0, kCWGraphCxtDraw, values)) == blank) << "runs without area";
}

TEST(GraphSeries, TheLatestChargingRunStartsStronger)
{
    const QImage image = drawn(series(0, kCWGraphCxtDraw, {0.7, 0.7, 0.3, 0.3, 0.7, 0.7}), 500, 100);
    const QColor earlier = at(image, 50, 52);
    const QColor latest = at(image, 450, 52);
    EXPECT_EQ(seen(earlier), Seen::Green);
    EXPECT_GT(latest.alpha(), earlier.alpha() + 15) << "0.17 instead of 0.07 at the zero line";
    EXPECT_NEAR(at(image, 50, 98).alpha(), at(image, 450, 98).alpha(), 4) << "both reach 0.6 at the top";
}

// Thinning a series to its extremes per pixel column must not change what is drawn.
TEST(GraphSeries, DecimatedDrawingMatchesTheWholeSeries)
{
    const int width = 400;
    const int height = 150;
    // A slow swing crossing the middle now and then, with steps and single-sample spikes.
    std::vector<double> wavy(40'000);
    for (size_t i = 0; i < wavy.size(); ++i)
        wavy[i] = 0.5 + 0.3 * std::sin(double(i) / 900.0) + (i / 5000 % 2 ? 0.02 : 0.0) + (i % 997 ? 0.0 : 0.2);
    for (const char *context : {static_cast<const char *>(nullptr), kCWGraphCxtMaxCap, kCWGraphCxtDraw}) {
        SCOPED_TRACE(context ? context : "line");
        const CWGraphSpec whole = series(context == kCWGraphCxtMaxCap ? 2 : 0, context, wavy, Qt::yellow);
        const CWGraphSpec thinned = whole.decimated(width, height);
        EXPECT_LE(thinned.vertices.size(), size_t(8 * width));
        const QImage a = drawn(whole, width, height);
        const QImage b = drawn(thinned, width, height);
        EXPECT_EQ(std::pair(unmatchedPixels(a, b), unmatchedPixels(b, a)), std::pair(0, 0));
    }
    const CWGraphSpec few = series(0, nullptr, {0.1, 0.9, 0.2});
    EXPECT_EQ(few.decimated(width, height).vertices, few.vertices);
}

// However the view lays a line series down, it must look like one round-joined stroke of the whole
// line (Qt's own), at the line width of a 700 x 500 view. Where a dense zigzag wanders inside a
// pixel column a pixel or two may differ; a gap, a lost joint or a wrong width shows in dozens.
TEST(GraphSeries, ALineLooksLikeOneRoundJoinedStroke)
{
    const int width = 300;
    const int height = 100;
    std::vector<double> dense(3'000); // ten samples a pixel column, zigzags and spikes within a column
    for (size_t i = 0; i < dense.size(); ++i)
        dense[i] = 0.5 + 0.35 * std::sin(double(i) / 40.0) * std::cos(double(i) / 3.0) + (i % 211 ? 0.0 : 0.3);
    // Dense runs with a jump between two columns, and a gap of samples.
    CWGraphSpec jumpAndGap = series(0, nullptr, {}, Qt::yellow);
    for (int i = 0; i < 900; ++i) {
        const double x = i < 600 ? i / 2000.0 : 0.7 + i / 3000.0;
        jumpAndGap.vertices.push_back({x, (i < 300 ? 0.2 : 0.7) + (i % 2 ? 0.05 : 0.0)});
    }
    for (const CWGraphSpec &spec : {series(0, nullptr, dense, Qt::yellow),
                                    series(0, nullptr, {0.2, 0.8, 0.25, 0.7, 0.7, 0.1}, Qt::yellow), jumpAndGap}) {
        for (const double ratio : {1.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << spec.vertices.size() << " points at ratio " << ratio);
            Canvas reference(width, height, ratio);
            QPolygonF line;
            for (const CWGraphVertex &vertex : spec.vertices)
                line.append(QPointF(vertex.x * width, vertex.y * height));
            reference.painter.setOpacity(spec.alpha);
            reference.painter.setPen(QPen(spec.color, 273.0 / 125, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
            reference.painter.drawPolyline(line);
            reference.painter.end();
            const QImage image = drawn(spec, width, height, ratio);
            EXPECT_LE(unmatchedPixels(image, reference.image) + unmatchedPixels(reference.image, image), 2);
        }
    }
}

// A flat line of single samples nearly two pixels apart stays as solid as Qt's own stroke: the
// steps between them are drawn, not left to the joints' dots.
TEST(GraphSeries, ASparseFlatLineHasNoNotches)
{
    const int width = 300;
    const int height = 100;
    CWGraphSpec flat = series(0, nullptr, {}, Qt::yellow);
    for (int i = 0; i < 140; ++i) // pairs 1.9 px apart in neighbouring columns, 4 px from pair to pair
        flat.vertices.push_back({(4 * (i / 2) + (i % 2 ? 1.95 : 0.05)) / width, 0.5});
    Canvas reference(width, height, 1.0);
    reference.painter.setOpacity(flat.alpha);
    reference.painter.setPen(QPen(flat.color, 273.0 / 125, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    reference.painter.drawLine(QPointF(0.05, 50), QPointF(277.95, 50));
    reference.painter.end();
    const QImage image = drawn(flat, width, height);
    int notches = 0;
    for (int y = 45; y < 55; ++y) {
        for (int x = 2; x < 280; ++x)
            notches += pixelDifference(image.pixel(x, y), reference.image.pixel(x, y)) > 40;
    }
    EXPECT_EQ(notches, 0);
}

// Lines and time lines are laid on from images of their own, placed in device pixels: a view away
// from its window's corner must look as it does on its own, at either pixel ratio.
TEST(GraphView, LooksTheSameAwayFromItsWindowsCorner)
{
    QWidget window;
    window.resize(760, 560);
    auto *view = new CWCWGraphView(&window);
    view->setGeometry(40, 50, 700, 500);
    view->setStartDate(QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    view->setEndDate(QDateTime(QDate(2026, 3, 3), QTime(0, 0)));
    view->addGraphSpec(series(0, nullptr, {0.2, 0.8, 0.3, 0.6}, Qt::yellow), CWGraphView::Top);
    const auto rendered = [](QWidget &widget, double ratio) {
        QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::black);
        widget.render(&image);
        return image;
    };
    for (const double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(testing::Message() << "ratio " << ratio);
        const QImage alone = rendered(*view, ratio);
        const QImage inWindow = rendered(window, ratio).copy(QRect(view->pos() * ratio, alone.size()));
        int differing = 0;
        for (int y = 0; y < alone.height(); ++y) {
            for (int x = 0; x < alone.width(); ++x)
                differing += pixelDifference(alone.pixel(x, y), inWindow.pixel(x, y)) > 2;
        }
        EXPECT_EQ(differing, 0);
    }
    // At twice the pixels the picture is the same, only finer.
    const QImage fine = rendered(window, 2.0).scaled(window.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LE(unmatchedPixels(fine, rendered(window, 1.0)), 0);
    // The midnight between the two days is drawn, brighter than the plot beside it.
    ASSERT_EQ(view->majorXLines().size(), 3);
    const QRectF top = CWGraphLayout::forSize(view->size(), CWGraphMetrics()).topGraphBounds;
    const QImage alone = rendered(*view, 1.0);
    const int x = int(top.x() + view->majorXLines()[1].fract * top.width());
    const int row = int(view->height() - top.center().y());
    EXPECT_GT(qGray(alone.pixel(x, row)), qGray(alone.pixel(x + 4, row)) + 3);
}

TEST(GraphView, ClickingTheTemperatureLegendSwitchesTheUnit)
{
    struct Row {
        qint64 unit;
        QPoint click; // widget coordinates
        qint64 expected;
    };
    const Row rows[] = {
        {1, {200, 500 - 45}, 2}, {2, {200, 500 - 45}, 3}, {3, {37, 250}, 1}, {7, {37, 250}, 1}, {1, {400, 250}, 1}};
    CWCWGraphView view;
    view.resize(700, 500);
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "unit " << row.unit << " at " << row.click.x() << ", " << row.click.y());
        UserDefaults::standard().setInteger(kTemperatureUnitKey, row.unit);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(row.click), view.mapToGlobal(QPointF(row.click)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
        EXPECT_EQ(UserDefaults::standard().integerForKey(kTemperatureUnitKey), row.expected);
    }
}
