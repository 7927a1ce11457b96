#include "CWBatteryMonitor.h"
#include "CWBatteryReadout.h"
#include "CWDashboardArrow.h"
#include "CWDashboardLayout.h"
#include "CWDashboardState.h"
#include "CWDashboardVC.h"
#include "CWDashboardView.h"
#include "CWUtil.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QMainWindow>
#include <QPaintEvent>
#include <QPainter>

namespace {

// A pack as the sysfs reader reports a typical Linux laptop: no temperature, no cell voltages,
// no design cycle count.
QVariantMap linuxSnapshot()
{
    return {{u"BatteryInstalled"_s, true}, {u"ExternalConnected"_s, false}, {u"IsCharging"_s, false},
            {u"FullyCharged"_s, false},    {u"CurrentCapacity"_s, 2500},    {u"MaxCapacity"_s, 5000},
            {u"DesignCapacity"_s, 5600},   {u"CycleCount"_s, 312},          {u"Voltage"_s, 11400},
            {u"InstantAmperage"_s, -870},  {u"TimeRemaining"_s, 172}};
}

// Arrow-coloured pixels along a horizontal (y fixed) or vertical run of a y-up view `height` high.
int arrowPixels(const QImage &image, const QLineF &run)
{
    int count = 0;
    for (qreal t = 0; t <= 1.0; t += 0.005) {
        const QPointF p = run.pointAt(t);
        count += isArrowBlue(image.pixel(qRound(p.x()), image.height() - 1 - qRound(p.y())));
    }
    return count;
}

class Dashboard : public ::testing::Test {
protected:
    void SetUp() override { read(linuxSnapshot()); }

    void read(const QVariantMap &snapshot)
    {
        battery->next = snapshot;
        CWBatteryMonitor::sharedMonitor()->tick();
    }
    QImage render(CWDashboardView &view)
    {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&image);
        return image;
    }

    ScopedDefaults defaults;
    ScopedDataHome home;
    ScopedFakeBattery battery{std::nullopt};
};

// Records the rectangles of the paint events a widget receives.
struct PaintRecorder : QObject {
    QList<QRect> rects;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            rects << static_cast<QPaintEvent *>(event)->rect();
        return false;
    }
};

} // namespace

TEST(DashboardLayout, FramesAreProportionalAndRoundedOutward)
{
    const CWDashboardLayout wide = CWDashboardLayout::forSize(QSizeF(1000, 500));
    EXPECT_EQ(wide.battFrame, QRectF(714, 5, 200, 500));
    EXPECT_EQ(wide.compLyrFrame, QRectF(120, 10, 200, 200));
    EXPECT_EQ(wide.plugFrame, QRectF(145, 315, 150, 150));
    EXPECT_EQ(CWDashboardLayout::plugAdornmentFrame(wide.plugFrame), QRectF(205, 365, 30, 30));
    EXPECT_EQ(CWDashboardLayout::forSize(QSizeF(800, 500)).battFrame, QRectF(551, 5, 201, 500));
    EXPECT_EQ(CWDashboardLayout::battDrawStringFrame(QSizeF(800, 500)), QRectF(300, 197, 200, 41));

    EXPECT_EQ(CWDashboardLayout::joined(QRectF(), QRectF(1, 2, 3, 4)), QRectF(1, 2, 3, 4));
    EXPECT_EQ(CWDashboardLayout::joined(QRectF(1, 2, 3, 4), QRectF(9, 9, 0, 5)), QRectF(1, 2, 3, 4));
    EXPECT_EQ(CWDashboardLayout::joined(QRectF(0, 0, 1, 1), QRectF(2, 3, 1, 1)), QRectF(0, 0, 3, 4));
}

TEST(DashboardArrow, RoutesDashesAndWidthAt1000By500)
{
    const CWDashboardArrow::Routes routes = CWDashboardArrow::routes(QSizeF(1000, 500), 200);
    const QRectF box = routes.plugToBatt.controlPointRect();
    EXPECT_NEAR(box.left(), 220, 1e-9);
    EXPECT_NEAR(box.width(), 548.1, 1e-9) << "the run ends at the battery's left side, x = 768.1";
    EXPECT_NEAR(box.height(), 100, 1e-9);
    // The corner of radius 49.125 starts that far above the corner point and ends that far right of it.
    EXPECT_NEAR(routes.plugToBatt.elementAt(2).y, 250 + 49.125, 1e-9);
    EXPECT_NEAR(routes.plugToBatt.elementAt(5).x, 220 + 49.125, 1e-9);
    EXPECT_EQ(routes.plugToComp.pointAtPercent(1.0), QPointF(220, 181.5));
    EXPECT_EQ(routes.battToComp.pointAtPercent(0.0), QPointF(220, 181.5)) << "laid out from the computer";
    EXPECT_EQ(CWDashboardArrow::dashLengths(routes.plugToBatt), (QList<qreal>{16, 5}));
    EXPECT_NEAR(CWDashboardArrow::lineWidth(routes.plugToBatt), 15.38, 0.005);
}

TEST(DashboardArrow, PhasesWrapAndOnlyVisibleArrowsAskForRedraw)
{
    CWDashboardArrow arrow;
    arrow.path.moveTo(0, 0);
    arrow.path.lineTo(100, 0);
    arrow.lengths = {16, 5};
    arrow.width = 10;
    arrow.speed = 45;
    arrow.advance(1.0, 1.0);
    EXPECT_DOUBLE_EQ(arrow.phase, -45.0) << "the remainder keeps the sign: -45 within 4 x 21";
    EXPECT_FALSE(arrow.dirty) << "hidden arrows advance unseen";
    EXPECT_TRUE(arrow.redrawArea().isEmpty());
    arrow.hidden = false;
    arrow.advance(0.5, 2.0);
    EXPECT_DOUBLE_EQ(arrow.phase, -6.0); // -90 wraps to -6
    EXPECT_EQ(arrow.redrawArea(), QRectF(-10, -10, 120, 20));

    // Dashes show from the start of the route whatever the phase, a negative one too.
    QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        arrow.path = QPainterPath(QPointF(0, 10));
        arrow.path.lineTo(100, 10);
        arrow.draw(painter, Qt::white);
    }
    int gaps = 0;
    for (int x = 0; x < 42; ++x)
        gaps += image.pixelColor(x, 10).value() < 64;
    EXPECT_GE(gaps, 5) << "one 5-point gap per 21 points";

    const double forward[] = {0.9, 0.75, 0.6, 0.45};
    for (quint64 pass = 0; pass < 4; ++pass) {
        arrow.speed = 45;
        EXPECT_DOUBLE_EQ(arrow.passAlpha(pass), forward[pass]);
        arrow.speed = -9.87;
        EXPECT_DOUBLE_EQ(arrow.passAlpha(pass), forward[3 - pass])
            << "backwards the brightest dash leads the other way";
    }
}

TEST(DashboardState, ArrowsLabelAndAdornmentFollowTheFlow)
{
    struct Row {
        const char *name;
        CWDashboardState::Readings readings;
        bool plugToBattHidden, plugToCompHidden, battToCompHidden;
        std::optional<double> battSpeed; // of the visible battery arrow
        const char *label;
        CWDashboardState::AdapterState adapter;
        // clang-format off
    } rows[] = {
        {"charging", {true, true, 25.3, 2.1, 1}, false, false, true, 25.3, "25.3 watts →", CWDashboardState::Charging},
        {"full on adapter", {false, true, 0.0, 0.0, 1}, true, false, true, std::nullopt, nullptr, CWDashboardState::Plugged},
        {"on battery", {false, false, -9.87, -0.8125, 1}, true, true, false, -9.87, "← 9.9 watts", CWDashboardState::NotPlugged},
        {"in amperes", {false, false, -9.87, -0.8125, 2}, true, true, false, -9.87, "← 0.813 amps", CWDashboardState::NotPlugged},
        {"no flow", {false, false, 0.0, 0.0, 1}, true, true, false, 0.0, nullptr, CWDashboardState::NotPlugged},
        {"unknown unit", {false, false, -9.87, -0.8125, 7}, true, true, false, -9.87, nullptr, CWDashboardState::NotPlugged},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const CWDashboardState state = CWDashboardState::derive(row.readings);
        EXPECT_EQ(state.plugToBatt.hidden, row.plugToBattHidden);
        EXPECT_EQ(state.plugToComp.hidden, row.plugToCompHidden);
        EXPECT_EQ(state.battToComp.hidden, row.battToCompHidden);
        EXPECT_EQ(row.plugToCompHidden ? std::nullopt : std::optional<double>(40.0), state.plugToComp.speed);
        EXPECT_EQ(row.battSpeed, row.battToCompHidden ? state.plugToBatt.speed : state.battToComp.speed);
        EXPECT_EQ(state.label, row.label ? QString::fromUtf8(row.label) : QString());
        EXPECT_EQ(state.adapterState, row.adapter);
    }
}

TEST(BatteryReadout, LiquidColoursAndCells)
{
    const auto rgbOf = [](const QColor &c) { return std::array<double, 3>{c.redF(), c.greenF(), c.blueF()}; };
    const auto near = [](std::array<double, 3> a, std::array<double, 3> b) {
        return std::abs(a[0] - b[0]) < 1e-3 && std::abs(a[1] - b[1]) < 1e-3 && std::abs(a[2] - b[2]) < 1e-3;
    };
    EXPECT_TRUE(near(rgbOf(CWBatteryReadout::liquidColor(0.5, false)), {0.7, 0.65, 0.0})) << "pure amber";
    EXPECT_TRUE(near(rgbOf(CWBatteryReadout::liquidColor(0.75, false)), {0.35, 0.685, 0.0}));
    EXPECT_TRUE(near(rgbOf(CWBatteryReadout::liquidColor(0.0, false)), {0.8, 0.0, 0.0}));

    // Three cells on an 11.1 V pack: 3.7 V each, judged within 2.96 to 4.44 V.
    struct Cell {
        double volts, fraction;
        std::array<double, 3> color;
    } cells[] = {{4.0, 0.703, {0.0 + 0.7 * 0.405, 0.72 - 0.07 * 0.405, 0}},
                 {4.2, 0.838, {0.7 * 0.676, 0.72 - 0.07 * 0.676, 0}},
                 {3.6, 0.432, {0.7 - 0.7 * 0.865, 0.65 + 0.07 * 0.865, 0}}};
    for (const Cell &cell : cells) {
        SCOPED_TRACE(cell.volts);
        const double fraction = CWBatteryReadout::cellFraction(cell.volts, 11.1, 3);
        EXPECT_NEAR(fraction, cell.fraction, 5e-4);
        EXPECT_TRUE(near(rgbOf(CWBatteryReadout::liquidColor(fraction, true)), cell.color)) << fraction;
    }

    // Zero entries are skipped; more than 16 are cut off.
    QVariantList many{3700, 0, 3800};
    EXPECT_EQ(CWBatteryReadout::cellVolts({{u"CellVoltage"_s, many}}), (QList<double>{3.7, 3.8}));
    for (int i = 0; i < 16; ++i)
        many << 4000;
    bool exceeded = false;
    EXPECT_EQ(CWBatteryReadout::cellVolts({{u"CellVoltage"_s, many}}, &exceeded).size(), 16);
    EXPECT_TRUE(exceeded);
    EXPECT_TRUE(CWBatteryReadout::cellVolts(linuxSnapshot()).isEmpty());

    // A layer 160 x 400 has bands of 120: up to three cells are 40 square, four share 128.
    const CWBatteryReadout::CellRow three = CWBatteryReadout::cellRow(3, 160, 120);
    EXPECT_DOUBLE_EQ(three.side, 40);
    EXPECT_DOUBLE_EQ(three.left, 20);
    const CWBatteryReadout::CellRow four = CWBatteryReadout::cellRow(4, 160, 120);
    EXPECT_DOUBLE_EQ(four.side, 32);
    EXPECT_DOUBLE_EQ(four.left, 16);
}

TEST(BatteryReadout, TextBlocksShowMissingReadingsAsDashes)
{
    struct Row {
        const char *name;
        QVariantMap changes; // to the typical Linux pack
        qint64 unit;
        QString temperature, time, percent, health, cycles;
        // clang-format off
    } rows[] = {
        {"typical Linux pack", {}, 1, u"---"_s, u"2 h 52 m"_s, u"50.0%"_s, u"★★★★☆"_s, u"312 / ?"_s},
        {"full report", {{u"Temperature"_s, 3031}, {u"DesignCycleCount9C"_s, 1000}, {u"MaxCapacity"_s, 4800},
                         {u"DesignCapacity"_s, 5000}},
         2, u"85.9° F"_s, u"2 h 52 m"_s, u"52.1%"_s, u"★★★★★"_s, u"312 / 1000"_s},
        {"kelvin, no estimate", {{u"Temperature"_s, 3031}, {u"TimeRemaining"_s, 400000}, {u"MaxCapacity"_s, 4000},
                                 {u"DesignCapacity"_s, 5000}},
         3, u"303.1 K"_s, u"---"_s, u"62.5%"_s, u"★★★☆☆"_s, u"312 / ?"_s},
        {"gauge maximum", {{u"TimeRemaining"_s, 65535}, {u"Temperature"_s, 3031}}, 9, u"---"_s, u"1092 h 15 m"_s,
         u"50.0%"_s, u"★★★★☆"_s, u"312 / ?"_s},
        {"charging without estimate",
         {{u"IsCharging"_s, true}, {u"ExternalConnected"_s, true}, {u"TimeRemaining"_s, {}}}, 1, u"---"_s, u"---"_s,
         u"50.0%"_s, u"★★★★☆"_s, u"312 / ?"_s},
        {"on adapter, not charging", {{u"ExternalConnected"_s, true}}, 1, u"---"_s, u"n/a"_s, u"50.0%"_s, u"★★★★☆"_s,
         u"312 / ?"_s},
        {"no capacities", {{u"MaxCapacity"_s, 0}, {u"DesignCapacity"_s, 0}}, 1, u"---"_s, u"2 h 52 m"_s, u"---"_s,
         u"—"_s, u"312 / ?"_s},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QVariantMap snapshot = withChanges(linuxSnapshot(), row.changes);
        const CWBatteryReadout::Block lower = CWBatteryReadout::lowerBlock(snapshot, row.unit);
        EXPECT_EQ(lower.values, QStringList({u"11.40 V"_s, u"-870 mA"_s, row.temperature, row.time}));
        EXPECT_EQ(lower.titles.size(), 4);
        EXPECT_EQ(CWBatteryReadout::percentText(snapshot), row.percent);
        const CWBatteryReadout::Block upper = CWBatteryReadout::upperBlock(snapshot);
        ASSERT_EQ(upper.values.size(), upper.titles.size());
        EXPECT_EQ(upper.values.last(), row.health);
        EXPECT_EQ(upper.values[8], row.cycles);
    }
    EXPECT_EQ(CWBatteryReadout::charge(withChanges(linuxSnapshot(), {{u"MaxCapacity"_s, 0}})), 0.0);
    const CWBatteryReadout::Block upper = CWBatteryReadout::upperBlock(linuxSnapshot());
    EXPECT_EQ(upper.values.mid(0, 8),
              (QStringList{u"✔"_s, u"✘"_s, u"✘"_s, u"✘"_s, u"2500 mAh"_s, u"5000 mAh"_s, u"5600 mAh"_s, u"600 mAh"_s}));
}

TEST(DashboardView, ArtworkIsRenderedOncePerSizeAndVariant)
{
    CWDashboardView view;
    const QImage plug = view._layerForPDFNamed(u"plug"_s, QSizeF(150, 150));
    ASSERT_FALSE(plug.isNull());
    EXPECT_EQ(view._layerForPDFNamed(u"plug"_s, QSizeF(150, 150)).cacheKey(), plug.cacheKey());
    const QImage smaller = view._layerForPDFNamed(u"plug"_s, QSizeF(120, 120));
    EXPECT_NE(smaller.cacheKey(), plug.cacheKey());
    EXPECT_EQ(smaller.deviceIndependentSize(), QSizeF(120, 120));

    // The discrete processor lights the screen teal from its bottom edge.
    const QImage on = view._layerForMacBookPDFWithGPU(true, QSizeF(200, 200));
    const QImage off = view._layerForMacBookPDFWithGPU(false, QSizeF(200, 200));
    EXPECT_NE(on.cacheKey(), off.cacheKey());
    EXPECT_EQ(view._numCachedPDFLayers(), 2);
    const QColor teal = on.pixelColor(45, 200 - 96), dark = off.pixelColor(45, 200 - 96);
    EXPECT_GT(teal.blue(), teal.red() + 20);
    EXPECT_LT(dark.blue(), 40);

    ConsoleCapture console;
    EXPECT_TRUE(view._layerForPDFNamed(u"no-such-artwork"_s, QSizeF(10, 10)).isNull());
    EXPECT_TRUE(view._layerForPDFNamed(u"plug"_s, QSizeF(0, 150)).isNull());
    EXPECT_EQ(view._numCachedPDFLayers(), 2);
    EXPECT_THROW(view._freeCachedPDFLayerAtIndex(2), CWCachedPDFLayerIndexError);
    view._freeCachedPDFLayerAtIndex(0);
    EXPECT_EQ(view._numCachedPDFLayers(), 1);

    // Painted at twice the pixels (a 2x screen or picture), the pieces are remade at that ratio.
    view.resize(1000, 500);
    QImage doubled(2000, 1000, QImage::Format_ARGB32_Premultiplied);
    doubled.setDevicePixelRatio(2);
    view.render(&doubled);
    EXPECT_EQ(view._layerForPDFNamed(u"plug"_s, QSizeF(150, 150)).devicePixelRatio(), 2.0);
}

TEST_F(Dashboard, AdornmentAndArrowsAppearOnlyOnceTheStateIsKnownAndTheLabelSwitchesUnits)
{
    CWDashboardView view;
    view.resize(1000, 500);
    const QRectF badge = CWDashboardLayout::plugAdornmentFrame(CWDashboardLayout::forSize(view.size()).plugFrame);
    const auto reddish = [&](const QImage &image) {
        const QColor c = image.pixelColor(qRound(badge.center().x()) - 6, 500 - qRound(badge.center().y()));
        return c.red() > c.green() + 60;
    };
    const QLineF vertical(220, 190, 220, 340), horizontal(290, 250, 360, 250);

    QImage image = render(view);
    EXPECT_EQ(view.adapterState(), CWDashboardState::Unknown);
    EXPECT_FALSE(reddish(image)) << "no adornment before the first update";
    EXPECT_EQ(arrowPixels(image, vertical) + arrowPixels(image, horizontal), 0);

    view.setMonitor(CWBatteryMonitor::sharedMonitor()); // on battery
    image = render(view);
    EXPECT_TRUE(reddish(image)) << "not plugged in";
    EXPECT_GT(arrowPixels(image, horizontal), 0) << "battery to computer";
    EXPECT_EQ(arrowPixels(image, QLineF(220, 300, 220, 340)), 0) << "nothing comes from the plug";

    // Clicking the label switches between watts and amperes; clicks elsewhere do nothing.
    const QPointF label = CWDashboardLayout::battDrawStringFrame(view.size()).center();
    for (const auto &[unit, next] : {std::pair{1, 2}, {2, 1}, {5, 1}}) {
        SCOPED_TRACE(unit);
        UserDefaults::standard().setInteger(u"CWDefaultBattUnit"_s, unit);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(qRound(label.x()), 500 - qRound(label.y())));
        EXPECT_EQ(UserDefaults::standard().integerForKey(u"CWDefaultBattUnit"_s), next);
    }
    EXPECT_EQ(view.battDrawString(), u"← 9.9 watts"_s);

    read(withChanges(linuxSnapshot(), {{u"ExternalConnected"_s, true}}));
    view.updateFromBatt();
    image = render(view);
    EXPECT_GT(arrowPixels(image, vertical), 0) << "plug to computer";
    EXPECT_EQ(arrowPixels(image, horizontal), 0) << "the battery neither charges nor discharges";
}

TEST_F(Dashboard, RepaintsOnlyWhatChanged)
{
    read(withChanges(linuxSnapshot(), {{u"ExternalConnected"_s, true}}));
    CWDashboardView view;
    view.setMonitor(CWBatteryMonitor::sharedMonitor());
    view.resize(1000, 500);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();
    PaintRecorder paints;
    view.installEventFilter(&paints);

    view.updateFromBatt();
    view.updateFromBatt();
    QCoreApplication::processEvents();
    EXPECT_TRUE(paints.rects.isEmpty()) << "nothing changed, nothing is redrawn";

    // Animation ticks alternate between moving the dashes on and repainting just the arrow's area.
    view._fireAnimTimer();
    QCoreApplication::processEvents();
    EXPECT_TRUE(paints.rects.isEmpty());
    const QRectF arrowArea = view._arrowsBoundingRect();
    view._fireAnimTimer();
    QCoreApplication::processEvents();
    ASSERT_FALSE(paints.rects.isEmpty());
    const QRect expected =
        QRectF(arrowArea.x(), 500 - arrowArea.bottom(), arrowArea.width(), arrowArea.height()).toAlignedRect();
    for (const QRect &rect : std::as_const(paints.rects))
        EXPECT_TRUE(expected.contains(rect))
            << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
    EXPECT_LT(expected.width() * expected.height(), 500 * 1000 / 10);

    // A new temperature unit alone rebuilds the battery layer.
    const QSizeF battSize = view.layout().battFrame.size();
    const QVariant battInfo = CWBatteryMonitor::sharedMonitor()->battInfo();
    const qint64 before = view._layerForBattPDFWithBattInfo(battInfo, battSize).cacheKey();
    EXPECT_EQ(view._layerForBattPDFWithBattInfo(battInfo, battSize).cacheKey(), before);
    UserDefaults::standard().setInteger(u"CWDefaultTemperatureUnit"_s, 2);
    paints.rects.clear();
    view.updateFromBatt();
    EXPECT_TRUE(view.tempUnitChanged());
    EXPECT_NE(view._layerForBattPDFWithBattInfo(battInfo, battSize).cacheKey(), before);
    EXPECT_FALSE(view.tempUnitChanged());
}

TEST_F(Dashboard, ArrowsRunOnlyWhileThePageIsOnScreen)
{
    ConsoleCapture console;
    QMainWindow window;
    CWDashboardVC page(u"CWDashboardVC"_s, *CWBatteryMonitor::sharedMonitor());
    window.setCentralWidget(page.view());
    window.resize(800, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    page.activate();
    EXPECT_TRUE(console.contains(u"Can't open driver"_s)) << "this machine has one graphics processor";
    CWDashboardView *view = page.dashboardView();
    EXPECT_TRUE(view->isAnimating());

    window.hide(); // closed to the tray
    EXPECT_FALSE(view->isAnimating());
    window.show();
    EXPECT_TRUE(view->isAnimating());
    window.showMinimized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->isAnimating());
    window.showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(view->isAnimating());

    page.deactivate();
    EXPECT_FALSE(view->isAnimating());
    page.activate();
    EXPECT_FALSE(console.contains(u"ERROR: Tried to start an animation timer when one was already in place"_s));
    page.deactivate();
}
