// Draws the application's artwork: the page icons ("icons.pdf"), the dashboard's pieces ("batt",
// "cell", "mbp", "plug" and the plug's three state marks), the grain texture ("noise-256.png") and
// the application icon (icons/cellwise.svg for the desktop, icons/cellwise-SIDE.png for the
// program and the icon theme's fixed sizes).
// Usage: cellwise-artwork-gen OUTPUT_DIR
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPdfWriter>
#include <QRadialGradient>
#include <QTransform>
#include <cstdio>
#include <functional>
#include <random>
#include <tuple>

namespace {

constexpr qreal kTile = 32.0; // icon cell, in PDF points
constexpr int kColumns = 5;
constexpr int kRows = 4; // the icons sit in row 3, counted from the bottom
constexpr int kIconRow = 3;

// A glyph is a few solid shapes (the page list uses the icons as masks), filled one after another:
// Qt's path set operations would flatten the curves, overlapping fills do not.
using Glyph = QList<QPainterPath>;

QPainterPath stroked(const QPainterPath &path, qreal width, Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

// Each glyph is drawn in a 32 x 32 cell with y growing downwards.

// "Battery Data": a text sheet with a folded corner and lines of text cut out (all straight
// edges, so the cut-outs can be subtracted).
Glyph textSheetGlyph()
{
    QPainterPath sheet;
    sheet.addPolygon(
        QPolygonF({QPointF(7, 3), QPointF(19, 3), QPointF(25, 9), QPointF(25, 29), QPointF(7, 29), QPointF(7, 3)}));
    QPainterPath cutOut;
    cutOut.addPolygon(QPolygonF({QPointF(18, 3.9), QPointF(24.1, 10), QPointF(18, 10), QPointF(18, 3.9)}));
    const qreal lineEnds[] = {16, 22, 22, 22, 19};
    for (int i = 0; i < 5; ++i)
        cutOut.addRect(QRectF(10, 11 + i * 3.5, lineEnds[i] - 10, 1.6));

    QPainterPath fold;
    fold.addPolygon(QPolygonF({QPointF(19, 3), QPointF(25, 9), QPointF(19, 9), QPointF(19, 3)}));
    QPainterPath foldInset;
    foldInset.addPolygon(QPolygonF({QPointF(20, 5.4), QPointF(22.6, 8), QPointF(20, 8), QPointF(20, 5.4)}));
    return {sheet.subtracted(cutOut), fold.subtracted(foldInset)};
}

// "Monitor": a gauge, an open ring with tick marks and a needle.
Glyph gaugeGlyph()
{
    const QPointF centre(16, 18);
    const QRectF ringBounds(4, 6, 24, 24);
    QPainterPath ring;
    ring.arcMoveTo(ringBounds, -40);
    ring.arcTo(ringBounds, -40, 260);

    QPainterPath ticks;
    for (int angle = -20; angle <= 200; angle += 55) {
        const QLineF tick = QLineF::fromPolar(7.5, angle).translated(centre);
        const QLineF outward = QLineF::fromPolar(1.7, angle);
        ticks.moveTo(tick.p2());
        ticks.lineTo(tick.p2() + QPointF(outward.dx(), outward.dy()));
    }

    const QLineF needle = QLineF::fromPolar(9.5, 50).translated(centre);
    QLineF side = needle.normalVector();
    side.setLength(1.7);
    const QPointF halfWidth(side.dx(), side.dy());
    QPainterPath pointer;
    pointer.addPolygon(QPolygonF({centre + halfWidth, needle.p2(), centre - halfWidth, centre + halfWidth}));
    QPainterPath hub;
    hub.addEllipse(centre, 2.8, 2.8);
    return {stroked(ring, 3.0, Qt::FlatCap), stroked(ticks, 1.6), pointer, hub};
}

// "Graph": a line chart on two axes.
Glyph lineChartGlyph()
{
    QPainterPath axes;
    axes.moveTo(5, 4);
    axes.lineTo(5, 27);
    axes.lineTo(28, 27);
    QPainterPath line;
    line.moveTo(9, 21);
    line.lineTo(14, 14);
    line.lineTo(18.5, 18);
    line.lineTo(26, 7);
    return {stroked(axes, 2.0, Qt::SquareCap), stroked(line, 2.6)}; // axes on whole points: a crisp edge
}

// "Event Log": a list, three bullets with their lines.
Glyph listGlyph()
{
    QPainterPath bullets;
    QPainterPath lines;
    for (int i = 0; i < 3; ++i) {
        const qreal y = 7 + i * 8;
        bullets.addEllipse(QPointF(7, y + 1.5), 2.4, 2.4);
        lines.addRoundedRect(QRectF(12, y, 15, 3), 1.5, 1.5);
    }
    return {bullets, lines};
}

// "Comparisons": two bars side by side on a base line.
Glyph twoBarsGlyph()
{
    QPainterPath bars;
    bars.addRoundedRect(QRectF(7, 11, 7, 16), 1.2, 1.2);
    bars.addRoundedRect(QRectF(18, 5, 7, 22), 1.2, 1.2);
    QPainterPath base;
    base.addRect(QRectF(4, 27, 24, 2));
    return {bars, base};
}

bool writeIcons(const QString &path)
{
    QPdfWriter writer(path);
    writer.setResolution(72); // one device unit per PDF point
    writer.setPageSize(QPageSize(QSizeF(kColumns * kTile, kRows * kTile), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setCreator(QStringLiteral("Cellwise"));
    writer.setTitle(QStringLiteral("Cellwise page icons"));

    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    // Columns in the order the page list asks for them.
    const Glyph glyphs[kColumns] = {textSheetGlyph(), gaugeGlyph(), lineChartGlyph(), listGlyph(), twoBarsGlyph()};
    const qreal rowTop = (kRows - 1 - kIconRow) * kTile; // the page's y grows downwards here
    for (int column = 0; column < kColumns; ++column) {
        for (const QPainterPath &shape : glyphs[column])
            painter.drawPath(shape.translated(column * kTile, rowTop));
    }
    return painter.end();
}

// --- The dashboard's artwork ------------------------------------------------------------------
// Each piece is one square page, drawn here y-up in points (the origin at the page's lower left),
// as the dashboard places it. The liquid and the texts are drawn by the program under and over it.

// Writes one square page of `side` points drawn by `draw` with y growing upwards.
bool writeArtwork(const QString &path, qreal side, const QString &title, const std::function<void(QPainter &)> &draw)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QSizeF(side, side), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setCreator(QStringLiteral("Cellwise"));
    writer.setTitle(title);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(0, side);
    painter.scale(1, -1);
    draw(painter);
    return painter.end();
}

QColor rgb(int hex, qreal alpha = 1.0)
{
    QColor color = QColor::fromRgb(QRgb(hex));
    color.setAlphaF(float(alpha));
    return color;
}

QLinearGradient horizontal(qreal left, qreal right, const QGradientStops &stops)
{
    QLinearGradient gradient(left, 0, right, 0);
    gradient.setStops(stops);
    return gradient;
}

QLinearGradient vertical(qreal bottom, qreal top, const QGradientStops &stops)
{
    QLinearGradient gradient(0, bottom, 0, top);
    gradient.setStops(stops);
    return gradient;
}

// Brushed metal seen on a cylinder: dark at the edges, a bright stripe left of the middle.
QGradientStops metalStops(int dark, int light)
{
    return {{0.0, rgb(dark)}, {0.28, rgb(light)}, {0.45, rgb(light).darker(112)}, {1.0, rgb(dark).darker(130)}};
}

QRectF ellipseAround(qreal centreX, qreal centreY, qreal halfWidth, qreal halfHeight)
{
    return QRectF(centreX - halfWidth, centreY - halfHeight, 2 * halfWidth, 2 * halfHeight);
}

// The visible side of a cylinder between two levels: its front outline from the lower ellipse's
// front arc up to the upper ellipse's front arc.
QPainterPath cylinderBand(qreal centreX, qreal halfWidth, qreal lower, qreal upper, qreal halfHeight)
{
    QPainterPath band;
    const QRectF low = ellipseAround(centreX, lower, halfWidth, halfHeight);
    const QRectF high = ellipseAround(centreX, upper, halfWidth, halfHeight);
    // In these y-up coordinates Qt's angles run clockwise: 0 to 180 sweeps the lower (front) arc.
    band.arcMoveTo(high, 180);
    band.arcTo(high, 180, -180);
    band.lineTo(low.right(), lower);
    band.arcTo(low, 0, 180);
    band.closeSubpath();
    return band;
}

// The glass of a cylinder whose liquid the program draws: faint walls, two reflections and
// level marks, all clear in the middle so the liquid shows through.
void drawGlass(QPainter &painter, qreal left, qreal right, qreal bottom, qreal top, qreal halfHeight, bool marks)
{
    const qreal width = right - left;
    painter.setPen(Qt::NoPen);
    painter.setBrush(rgb(0xffffff, 0.05));
    painter.drawRect(QRectF(left, bottom, width, top - bottom));

    // Reflections: soft-edged stripes built from overlapping translucent ones (the PDF engine
    // writes gradients without their alpha).
    const qreal inset = halfHeight * 0.5;
    for (const auto &[centre, halfStripe, alpha] :
         {std::tuple{0.15, 0.06, 0.10}, std::tuple{0.15, 0.035, 0.14}, std::tuple{0.15, 0.015, 0.16},
          std::tuple{0.86, 0.025, 0.08}, std::tuple{0.86, 0.01, 0.10}}) {
        painter.setBrush(rgb(0xffffff, alpha));
        const qreal x = left + width * (centre - halfStripe);
        painter.drawRoundedRect(QRectF(x, bottom + inset, width * 2 * halfStripe, top - bottom - 2 * inset),
                                width * halfStripe, width * halfStripe);
    }

    painter.setPen(QPen(rgb(0xffffff, 0.45), width * 0.018));
    painter.drawLine(QPointF(left, bottom), QPointF(left, top));
    painter.drawLine(QPointF(right, bottom), QPointF(right, top));
    if (marks) {
        painter.setPen(QPen(rgb(0xffffff, 0.35), width * 0.012));
        for (qreal level : {0.25, 0.5, 0.75}) {
            const qreal y = bottom + (top - bottom) * level;
            painter.drawLine(QPointF(right - width * 0.16, y), QPointF(right - width * 0.04, y));
        }
    }
}

// A soft shadow on the ground: stacked translucent ellipses, darkest in the middle.
void drawGroundShadow(QPainter &painter, const QPointF &centre, qreal halfWidth, qreal halfHeight)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(rgb(0x000000, 0.09));
    for (qreal scale = 1.0; scale > 0.3; scale -= 0.12)
        painter.drawEllipse(ellipseAround(centre.x(), centre.y(), halfWidth * scale, halfHeight * scale));
}

// "batt": an upright cylindrical cell of glass between a metal base and a metal cap with its
// terminal. The glass spans 0.283 to 0.717 of the width and 0.12 to 0.867 of the height.
void drawBattery(QPainter &painter)
{
    constexpr qreal side = 200, centreX = 100;
    constexpr qreal left = 0.283 * side, right = 0.717 * side, bottom = 0.12 * side, top = 0.867 * side;
    constexpr qreal halfHeight = 0.05 * side; // the liquid's ellipses are 0.1 of the height
    constexpr qreal halfWidth = (right - left) / 2;

    drawGroundShadow(painter, QPointF(centreX, 9), 60, 8);

    drawGlass(painter, left, right, bottom, top, halfHeight, true);

    // Base: a metal ring under the glass.
    const qreal ringHalfWidth = halfWidth + 3.5;
    painter.setPen(QPen(rgb(0x1a1b1e), 0.8));
    painter.setBrush(horizontal(centreX - ringHalfWidth, centreX + ringHalfWidth, metalStops(0x3b3f45, 0xb7bcc4)));
    painter.drawPath(cylinderBand(centreX, ringHalfWidth, 9, bottom - 0.5, halfHeight + 1));

    // Cap: a metal band over the top of the glass, its lid, and the terminal.
    const qreal capTop = top + 11;
    painter.setBrush(horizontal(centreX - ringHalfWidth, centreX + ringHalfWidth, metalStops(0x3b3f45, 0xc9ced6)));
    painter.drawPath(cylinderBand(centreX, ringHalfWidth, top - 1.5, capTop, halfHeight + 1));
    painter.setBrush(vertical(capTop - halfHeight, capTop + halfHeight, {{0.0, rgb(0x8d939b)}, {1.0, rgb(0xd9dde3)}}));
    painter.drawEllipse(ellipseAround(centreX, capTop, ringHalfWidth, halfHeight + 1));

    constexpr qreal nubHalfWidth = 13, nubHalfHeight = 3.2;
    const qreal nubTop = capTop + 7;
    painter.setBrush(horizontal(centreX - nubHalfWidth, centreX + nubHalfWidth, metalStops(0x4a4f56, 0xd3d7dd)));
    painter.drawPath(cylinderBand(centreX, nubHalfWidth, capTop, nubTop, nubHalfHeight));
    painter.setBrush(
        vertical(nubTop - nubHalfHeight, nubTop + nubHalfHeight, {{0.0, rgb(0x9aa0a8)}, {1.0, rgb(0xeef0f3)}}));
    painter.drawEllipse(ellipseAround(centreX, nubTop, nubHalfWidth, nubHalfHeight));

    // The plus sign on the cap's band.
    painter.setPen(QPen(rgb(0x2a2d31, 0.8), 2.2, Qt::SolidLine, Qt::FlatCap));
    const QPointF plus(centreX, top + 2.5);
    painter.drawLine(plus - QPointF(4, 0), plus + QPointF(4, 0));
    painter.drawLine(plus - QPointF(0, 4), plus + QPointF(0, 4));
}

// "cell": one small cell of the pack, glass between a dark foot and a metal top. The glass spans
// 0.072 to 0.928 of the width and 0.1 to 0.875 of the height.
void drawCell(QPainter &painter)
{
    constexpr qreal side = 100, centreX = 50;
    constexpr qreal left = 0.072 * side, right = 0.928 * side, bottom = 0.1 * side, top = 0.875 * side;
    constexpr qreal halfHeight = 0.1 * side;
    constexpr qreal halfWidth = (right - left) / 2;

    drawGlass(painter, left, right, bottom, top, halfHeight, false);

    painter.setPen(QPen(rgb(0x1a1b1e), 0.8));
    painter.setBrush(horizontal(left, right, metalStops(0x2c2f34, 0x7d838c)));
    painter.drawPath(cylinderBand(centreX, halfWidth, bottom - 4, bottom, halfHeight));

    painter.setBrush(horizontal(left, right, metalStops(0x3b3f45, 0xc9ced6)));
    painter.drawPath(cylinderBand(centreX, halfWidth, top - 2, top + 3, halfHeight));
    painter.setBrush(
        vertical(top + 3 - halfHeight, top + 3 + halfHeight, {{0.0, rgb(0x8d939b)}, {1.0, rgb(0xdfe2e7)}}));
    painter.drawEllipse(ellipseAround(centreX, top + 3, halfWidth, halfHeight * 0.7));
    painter.setBrush(rgb(0xf2f4f6));
    painter.drawEllipse(ellipseAround(centreX, top + 4, halfWidth * 0.3, halfHeight * 0.25));
}

// "mbp": a generic modern laptop seen from the front and a little above: a thin-bezel display
// whose screen lies exactly in (0.2, 0.468) to (0.8, 0.827) of the page, over a keyboard deck
// in perspective.
void drawLaptop(QPainter &painter)
{
    constexpr qreal side = 200;
    const QRectF screen(0.2 * side, 0.468 * side, 0.6 * side, 0.359 * side);

    drawGroundShadow(painter, QPointF(100, 14), 99, 8);

    // Deck: its front edge, then its top surface in perspective.
    const QPolygonF deckTop({QPointF(38, 86), QPointF(162, 86), QPointF(193, 24), QPointF(7, 24)});
    QPainterPath front;
    front.addRoundedRect(QRectF(7, 16, 186, 9), 3, 3);
    painter.setBrush(vertical(16, 25, {{0.0, rgb(0x5e6268)}, {1.0, rgb(0xa3a7ad)}}));
    painter.drawPath(front);
    painter.setBrush(rgb(0x3d4046));
    painter.drawRoundedRect(QRectF(86, 19.5, 28, 3.5), 1.7, 1.7); // the notch for opening the lid
    painter.setBrush(vertical(24, 86, {{0.0, rgb(0xe6e8eb)}, {1.0, rgb(0xb9bdc3)}}));
    painter.setPen(QPen(rgb(0x7c8087), 0.6));
    painter.drawPolygon(deckTop);

    // Keyboard and trackpad are laid out flat on the deck and mapped into its perspective.
    QTransform onDeck;
    const QPolygonF flat({QPointF(0, 100), QPointF(100, 100), QPointF(100, 0), QPointF(0, 0)});
    QTransform::quadToQuad(flat, deckTop, onDeck);
    painter.save();
    painter.setTransform(onDeck, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(rgb(0x8e939a, 0.55));
    painter.drawRoundedRect(QRectF(8, 42, 84, 52), 1.5, 1.5); // the keyboard well
    constexpr int rows = 6;
    constexpr int columns = 14;
    const qreal keyWidth = 84.0 / columns, keyHeight = 52.0 / rows;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const bool spaceRow = row == 0;
            if (spaceRow && column > 4 && column < 9)
                continue; // the space bar spans these
            QRectF key(8 + column * keyWidth, 42 + row * keyHeight, keyWidth, keyHeight);
            if (spaceRow && column == 4)
                key.setWidth(keyWidth * 5);
            painter.setBrush(rgb(0x1e2024));
            painter.drawRoundedRect(key.adjusted(0.9, 1.0, -0.9, -1.0), 1.2, 1.2);
        }
    }
    painter.setBrush(rgb(0xa9aeb5));
    painter.drawRoundedRect(QRectF(33, 6, 34, 31), 2, 2); // the trackpad
    painter.setBrush(rgb(0xc8ccd1));
    painter.drawRoundedRect(QRectF(33.6, 6.8, 32.8, 29.6), 2, 2);
    painter.restore();

    // Hinge.
    painter.setPen(Qt::NoPen);
    painter.setBrush(vertical(85, 90, {{0.0, rgb(0x2a2c30)}, {1.0, rgb(0x55585e)}}));
    painter.drawRoundedRect(QRectF(44, 85, 112, 5), 2, 2);

    // Display: aluminium rim, black bezel, dark glass with a faint reflection.
    const QRectF lid = screen.adjusted(-6.5, -5.5, 6.5, 5.5);
    painter.setBrush(vertical(lid.top(), lid.bottom(), {{0.0, rgb(0x8a8f96)}, {1.0, rgb(0xc3c7cd)}}));
    painter.drawRoundedRect(lid, 6, 6);
    painter.setBrush(rgb(0x0b0c0e));
    painter.drawRoundedRect(lid.adjusted(1.2, 1.2, -1.2, -1.2), 5, 5);
    painter.setBrush(vertical(screen.top(), screen.bottom(), {{0.0, rgb(0x101316)}, {1.0, rgb(0x1a1e23)}}));
    painter.drawRect(screen);
    QPainterPath reflection;
    reflection.addPolygon(
        QPolygonF({screen.bottomLeft(), QPointF(screen.left() + 0.42 * screen.width(), screen.bottom()),
                   QPointF(screen.left() + 0.18 * screen.width(), screen.top()), screen.topLeft()}));
    painter.setBrush(rgb(0xffffff, 0.035));
    painter.drawPath(reflection);
    painter.setBrush(rgb(0x24272c));
    painter.drawEllipse(QPointF(100, lid.bottom() - 2.8), 1.1, 1.1); // the camera
}

// "plug": a compact power adapter hanging from the wall by its prongs, its cable leaving at the
// bottom where the power-flow arrows start (0.233 of the height). The state mark sits on its face.
void drawPlug(QPainter &painter)
{
    constexpr qreal centreX = 75;

    // Prongs.
    painter.setPen(QPen(rgb(0x5c6066), 0.6));
    for (qreal x : {58.0, 86.0}) {
        painter.setBrush(horizontal(x, x + 6, {{0.0, rgb(0x8c9199)}, {0.4, rgb(0xe5e8ec)}, {1.0, rgb(0x7a7f86)}}));
        painter.drawRoundedRect(QRectF(x, 116, 6, 27), 1.2, 1.2);
    }

    // Cable strain relief, tapering down to the cable.
    QPainterPath relief;
    relief.moveTo(centreX - 11, 44);
    relief.cubicTo(centreX - 10, 38, centreX - 6, 36, centreX - 5.5, 30);
    relief.lineTo(centreX + 5.5, 30);
    relief.cubicTo(centreX + 6, 36, centreX + 10, 38, centreX + 11, 44);
    relief.closeSubpath();
    painter.setPen(QPen(rgb(0x9da2a9), 0.6));
    painter.setBrush(
        horizontal(centreX - 11, centreX + 11, {{0.0, rgb(0xc9cdd2)}, {0.35, rgb(0xf7f8fa)}, {1.0, rgb(0xaeb3ba)}}));
    painter.drawPath(relief);

    // Body: a soft white block, lit from the upper left.
    const QRectF body(36, 40, 78, 80);
    painter.setPen(QPen(rgb(0x8f949b), 0.8));
    painter.setBrush(
        vertical(body.top(), body.bottom(), {{0.0, rgb(0xc4c8ce)}, {0.55, rgb(0xe9ebee)}, {1.0, rgb(0xf9fafb)}}));
    painter.drawRoundedRect(body, 15, 15);
    painter.setPen(Qt::NoPen);
    painter.setBrush(rgb(0xffffff, 0.5));
    painter.drawRoundedRect(QRectF(body.left() + 9, body.top() + 12, 6, body.height() - 24), 3, 3);
    // A recessed face around the state mark.
    painter.setBrush(rgb(0x000000, 0.06));
    painter.drawEllipse(QPointF(centreX, 65), 18, 18);
}

// The plug's state marks: round badges with a white symbol.
void drawBadge(QPainter &painter, int light, int dark, const std::function<void(QPainter &)> &symbol)
{
    const QPointF centre(50, 50);
    QRadialGradient fill(QPointF(42, 64), 58);
    fill.setColorAt(0.0, rgb(light));
    fill.setColorAt(1.0, rgb(dark));
    painter.setPen(QPen(rgb(0x000000, 0.45), 3));
    painter.setBrush(fill);
    painter.drawEllipse(centre, 45, 45);
    painter.setPen(Qt::NoPen);
    painter.setBrush(rgb(0xffffff, 0.18));
    painter.drawEllipse(ellipseAround(50, 72, 32, 19));
    symbol(painter);
}

void drawNotPlugged(QPainter &painter)
{
    drawBadge(painter, 0xf0605a, 0xa82a25, [](QPainter &p) {
        p.setPen(QPen(Qt::white, 11, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(33, 33), QPointF(67, 67));
        p.drawLine(QPointF(33, 67), QPointF(67, 33));
    });
}

void drawPlugged(QPainter &painter)
{
    drawBadge(painter, 0x5fd77e, 0x1f8443, [](QPainter &p) {
        p.setPen(QPen(Qt::white, 11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(29, 51), QPointF(44, 36), QPointF(71, 66)}));
    });
}

void drawCharging(QPainter &painter)
{
    drawBadge(painter, 0xffc94d, 0xd0800c, [](QPainter &p) {
        p.setPen(QPen(rgb(0xffffff), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF(
            {QPointF(56, 86), QPointF(30, 46), QPointF(48, 46), QPointF(42, 14), QPointF(70, 56), QPointF(52, 56)}));
    });
}

struct Artwork {
    const char *name;
    qreal side;
    void (*draw)(QPainter &);
};

// clang-format off
const Artwork kDashboardArtwork[] = {
    {"batt", 200, drawBattery},   {"cell", 100, drawCell},         {"mbp", 200, drawLaptop},
    {"plug", 150, drawPlug},      {"notplugged", 100, drawNotPlugged}, {"plugged", 100, drawPlugged},
    {"charging", 100, drawCharging},
};
// clang-format on

// A fine, even grain that tiles seamlessly (every pixel is independent) and is meant to be
// multiplied over a background: mostly light, with a few darker specks.
bool writeNoise(const QString &path)
{
    QImage image(256, 256, QImage::Format_Grayscale8);
    std::mt19937 random(20240611); // fixed, so the texture is the same on every run
    std::normal_distribution<double> grain(0.0, 38.0);
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = uchar(qBound(0.0, 235.0 - std::abs(grain(random)), 255.0));
    }
    return image.save(path, "PNG");
}

// The application icon, on a 256-unit canvas (y down, as in SVG): a battery, partly charged, over
// the line of its history, on a dark rounded tile. Written as SVG and painted as PNG from the
// same parts.
constexpr qreal kIconCanvas = 256.0;
struct IconPart {
    QRectF rect;
    qreal radius;
    const char *fill;   // "none" or a colour
    const char *stroke; // "none" or a colour
    qreal strokeWidth;
};
const IconPart kIconParts[] = {
    {{16, 16, 224, 224}, 48, "url(#tile)", "none", 0},
    {{58, 70, 128, 92}, 16, "none", "#e8edf2", 10},
    {{190, 98, 16, 36}, 5, "#e8edf2", "none", 0},
    {{73, 85, 70, 62}, 6, "#5fd068", "none", 0},
};
const QPointF kIconHistory[] = {{54, 204}, {96, 190}, {136, 198}, {202, 178}};
constexpr const char *kIconTileTop = "#34495e";
constexpr const char *kIconTileBottom = "#151c25";
constexpr const char *kIconHistoryColour = "#5fd068";
constexpr qreal kIconHistoryWidth = 9;

QString iconSvg()
{
    QString svg =
        QStringLiteral(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
            "  <defs><linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
            "<stop offset=\"0\" stop-color=\"%1\"/><stop offset=\"1\" stop-color=\"%2\"/>"
            "</linearGradient></defs>\n")
            .arg(QLatin1String(kIconTileTop), QLatin1String(kIconTileBottom));
    for (const IconPart &part : kIconParts)
        // clang-format off
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\" stroke=\"%7\" "
                              "stroke-width=\"%8\"/>\n")
                   .arg(part.rect.x()).arg(part.rect.y()).arg(part.rect.width()).arg(part.rect.height()).arg(part.radius)
                   .arg(QLatin1String(part.fill), QLatin1String(part.stroke)).arg(part.strokeWidth);
    // clang-format on
    QStringList points;
    for (const QPointF &point : kIconHistory)
        points << QStringLiteral("%1,%2").arg(point.x()).arg(point.y());
    svg += QStringLiteral("  <polyline points=\"%1\" fill=\"none\" stroke=\"%2\" stroke-width=\"%3\" "
                          "stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n</svg>\n")
               .arg(points.join(QLatin1Char(' ')), QLatin1String(kIconHistoryColour))
               .arg(kIconHistoryWidth);
    return svg;
}

QImage iconImage(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / kIconCanvas, side / kIconCanvas);
    for (const IconPart &part : kIconParts) {
        const QLatin1String fill(part.fill);
        if (fill == QLatin1String("url(#tile)")) {
            QLinearGradient tile(0, part.rect.top(), 0, part.rect.bottom());
            tile.setColorAt(0, QColor(QLatin1String(kIconTileTop)));
            tile.setColorAt(1, QColor(QLatin1String(kIconTileBottom)));
            painter.setBrush(tile);
        } else {
            painter.setBrush(fill == QLatin1String("none") ? QBrush(Qt::NoBrush) : QBrush(QColor(fill)));
        }
        const QLatin1String stroke(part.stroke);
        painter.setPen(stroke == QLatin1String("none") ? QPen(Qt::NoPen) : QPen(QColor(stroke), part.strokeWidth));
        painter.drawRoundedRect(part.rect, part.radius, part.radius);
    }
    painter.setPen(
        QPen(QColor(QLatin1String(kIconHistoryColour)), kIconHistoryWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(kIconHistory, int(std::size(kIconHistory)));
    return image;
}

bool writeApplicationIcon(const QString &dir)
{
    QDir().mkpath(dir);
    QFile svg(dir + QStringLiteral("/cellwise.svg"));
    bool ok = svg.open(QIODevice::WriteOnly) && svg.write(iconSvg().toUtf8()) > 0;
    for (int side : {48, 128, 256})
        ok = iconImage(side).save(dir + QStringLiteral("/cellwise-%1.png").arg(side), "PNG") && ok;
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: cellwise-artwork-gen OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    if (!writeIcons(dir + QStringLiteral("/icons.pdf"))) {
        std::fprintf(stderr, "ERROR: could not write icons.pdf\n");
        ok = false;
    }
    for (const Artwork &artwork : kDashboardArtwork) {
        const QString name = QString::fromLatin1(artwork.name);
        if (!writeArtwork(dir + QStringLiteral("/%1.pdf").arg(name), artwork.side, name, artwork.draw)) {
            std::fprintf(stderr, "ERROR: could not write %s.pdf\n", artwork.name);
            ok = false;
        }
    }
    if (!writeNoise(dir + QStringLiteral("/noise-256.png"))) {
        std::fprintf(stderr, "ERROR: could not write noise-256.png\n");
        ok = false;
    }
    if (!writeApplicationIcon(dir + QStringLiteral("/icons"))) {
        std::fprintf(stderr, "ERROR: could not write the application icon\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
