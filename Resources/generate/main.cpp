// Draws the application's artwork: the page icons ("icons.pdf") and the grain texture
// ("noise-256.png"). Usage: cellwise-artwork-gen OUTPUT_DIR
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPdfWriter>
#include <cstdio>
#include <random>

namespace {

constexpr qreal kTile = 32.0;        // icon cell, in PDF points
constexpr int kColumns = 5;
constexpr int kRows = 4;             // the icons sit in row 3, counted from the bottom
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
    sheet.addPolygon(QPolygonF({QPointF(7, 3), QPointF(19, 3), QPointF(25, 9), QPointF(25, 29),
                                QPointF(7, 29), QPointF(7, 3)}));
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
    const Glyph glyphs[kColumns] = {textSheetGlyph(), gaugeGlyph(), lineChartGlyph(), listGlyph(),
                                    twoBarsGlyph()};
    const qreal rowTop = (kRows - 1 - kIconRow) * kTile; // the page's y grows downwards here
    for (int column = 0; column < kColumns; ++column) {
        for (const QPainterPath &shape : glyphs[column])
            painter.drawPath(shape.translated(column * kTile, rowTop));
    }
    return painter.end();
}

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
    if (!writeNoise(dir + QStringLiteral("/noise-256.png"))) {
        std::fprintf(stderr, "ERROR: could not write noise-256.png\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
