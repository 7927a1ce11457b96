#include "CWGraphView.h"

#include "CWUtil.h"
#include "UserDefaults.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

namespace {

const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");
const QString kDrawLabel = QStringLiteral("Draw (W)");

QColor deviceRGB(double red, double green, double blue, double alpha)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

QGradientStops stops(std::initializer_list<std::pair<double, QColor>> list)
{
    QGradientStops result;
    for (const auto &[location, color] : list)
        result.append({location, color});
    return result;
}

// The family's style at the fallback's size, or the fallback when the family is not installed.
QFont namedFont(const QString &family, const QString &style, const QFont &fallback)
{
    if (!QFontDatabase::styles(family).contains(style))
        return fallback;
    QFont font = QFontDatabase::font(family, style, 12);
    font.setPointSizeF(fallback.pointSizeF());
    return font;
}

QString temperatureLabel(qint64 unit)
{
    switch (unit) {
    case 1:
        return QStringLiteral("Temperature (°C)");
    case 2:
        return QStringLiteral("Temperature (°F)");
    case 3:
        return QStringLiteral("Temperature (K)");
    default:
        return QStringLiteral("Temperature");
    }
}

// Text whose line box sits on point, as text drawn at a point in y-up coordinates does.
void drawAtPoint(QPainter &painter, const QPointF &point, const QString &text, const QFont &font, const QColor &color)
{
    painter.setFont(font);
    painter.setPen(color);
    const QFontMetricsF metrics(font);
    CWUtil::drawText(painter, QRectF(point.x(), point.y(), metrics.horizontalAdvance(text) + 1, metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop, text);
}

// A label of a value scale, drawn with the painter at the scale line's left end: three or more
// characters turned upright along the strip, two at 80 per cent, one as it is.
void drawScaleLabel(QPainter &painter, const QString &label, double stripWidth)
{
    CWPainterStateGuard guard(painter);
    const int flags = Qt::AlignLeft | Qt::AlignTop;
    if (label.size() >= 3) {
        painter.translate(stripWidth, 0);
        painter.rotate(90);
        CWUtil::drawText(painter, QRectF(2, 0, 100, 20), flags, label);
    } else if (label.size() == 2) {
        painter.scale(0.8, 0.8);
        CWUtil::drawText(painter, QRectF(0, -8, (stripWidth - 3) / 0.8, 25), flags, label);
    } else {
        CWUtil::drawText(painter, QRectF(0, -5, stripWidth - 3, 20), flags, label);
    }
}

// Lays an image of device pixels on with its top left corner at a device pixel. The painter's device
// transform, which gives such pixels, also holds the pixel ratio and a widget's offset inside its
// window: with the world transform reset, the corner and the ratio are found back through it.
void drawImageAtDevicePixel(QPainter &painter, const QPoint &pixel, QImage image, double opacity = 1.0)
{
    CWPainterStateGuard guard(painter);
    painter.setWorldTransform(QTransform());
    painter.setOpacity(opacity);
    const QTransform toDevice = painter.deviceTransform();
    image.setDevicePixelRatio(std::hypot(toDevice.m11(), toDevice.m12()));
    painter.drawImage(toDevice.inverted().map(QPointF(pixel)), image);
}

// A round dot of a given diameter in device pixels and a colour, drawn once for each eighth-of-a-
// pixel offset it is needed at: placing a copy costs a small blend where an ellipse costs a path.
class DotStamps {
public:
    DotStamps(double diameter, const QColor &color)
        : _diameter(diameter)
        , _color(color)
        , _reach(int(std::ceil(diameter / 2)) + 1)
    {
    }

    // Lays the dot centred on the device point, to within a sixteenth of a pixel.
    void stamp(QPainter &painter, QPointF centre)
    {
        const QPoint step(int(std::floor(centre.x() * kSteps)), int(std::floor(centre.y() * kSteps)));
        const QPoint pixel(step.x() >> kShift, step.y() >> kShift);
        const int column = step.x() & (kSteps - 1);
        const int row = step.y() & (kSteps - 1);
        painter.drawImage(pixel - QPoint(_reach, _reach), _stampAt(row, column));
    }

private:
    static constexpr int kShift = 3;
    static constexpr int kSteps = 1 << kShift;

    const QImage &_stampAt(int row, int column)
    {
        QImage &stamp = _stamps[row][column];
        if (stamp.isNull()) {
            const int side = 2 * _reach + 1;
            stamp = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
            stamp.fill(Qt::transparent);
            QPainter painter(&stamp);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(_color);
            const QPointF centre(_reach + (column + 0.5) / kSteps, _reach + (row + 0.5) / kSteps);
            painter.drawEllipse(centre, _diameter / 2, _diameter / 2);
        }
        return stamp;
    }

    double _diameter;
    QColor _color;
    int _reach;
    QImage _stamps[kSteps][kSteps];
};

// The points of a line that fall into one pixel column, one after the other.
struct ColumnRun {
    qsizetype first = 0;
    qsizetype last = 0;
    qsizetype lowest = 0;
    qsizetype highest = 0;
};

std::vector<ColumnRun> columnRuns(const QPolygonF &points)
{
    std::vector<ColumnRun> runs;
    for (qsizetype first = 0; first < points.size();) {
        const double column = std::floor(points[first].x());
        ColumnRun run{first, first, first, first};
        while (run.last + 1 < points.size() && std::floor(points[run.last + 1].x()) == column) {
            ++run.last;
            if (points[run.last].y() < points[run.lowest].y())
                run.lowest = run.last;
            if (points[run.last].y() > points[run.highest].y())
                run.highest = run.last;
        }
        runs.push_back(run);
        first = run.last + 1;
    }
    return runs;
}

// The segments of a line through device points. The segments of a run of points inside one pixel
// column become one, from the run's lowest point to its highest: with round joins they cover the
// same pixels to within one, and a dense series no longer paints each column over and over. The
// steps join one run to the next; a step between two runs side by side is left out when their
// heights overlap, as their own segments and dots cover it to within a pixel.
struct LineSegments {
    QList<QLineF> columns;
    QList<QLineF> steps;
};

LineSegments columnSegments(const QPolygonF &points)
{
    const std::vector<ColumnRun> runs = columnRuns(points);
    LineSegments segments;
    for (size_t i = 0; i < runs.size(); ++i) {
        const ColumnRun &run = runs[i];
        if (run.last > run.first)
            segments.columns.append(QLineF(points[run.lowest], points[run.highest]));
        if (i + 1 == runs.size())
            continue;
        const ColumnRun &next = runs[i + 1];
        const QPointF from = points[run.last];
        const QPointF to = points[next.first];
        const bool covered =
            run.last > run.first && next.last > next.first && std::floor(to.x()) == std::floor(from.x()) + 1
            && points[run.lowest].y() <= points[next.highest].y() && points[next.lowest].y() <= points[run.highest].y();
        if (!covered)
            segments.steps.append(QLineF(from, to));
    }
    return segments;
}

// A segment inside one pixel column, laid into an image of one colour as the upright band of the
// given width around its middle, with flat ends. Each pixel takes the larger of the coverage it
// has and the band's: where bands of a dense series overlap, that is their union, which the raster
// engine would blend again for every band, pixel by pixel.
void fillColumnSegment(QImage &layer, const QLineF &segment, double width, QRgb color)
{
    const double middle = (segment.x1() + segment.x2()) / 2;
    const double left = middle - width / 2;
    const double right = middle + width / 2;
    const double top = std::min(segment.y1(), segment.y2());
    const double bottom = std::max(segment.y1(), segment.y2());
    // Bounded before they become pixel indexes: a vertex of a garbled time or value can lie far out.
    const int firstColumn = int(std::floor(std::clamp(left, 0.0, double(layer.width()))));
    const int lastColumn = int(std::ceil(std::clamp(right, 0.0, double(layer.width())))) - 1;
    const int firstRow = int(std::floor(std::clamp(top, 0.0, double(layer.height()))));
    const int lastRow = int(std::ceil(std::clamp(bottom, 0.0, double(layer.height())))) - 1;
    QVarLengthArray<double, 16> columnCover;
    for (int column = firstColumn; column <= lastColumn; ++column)
        columnCover.append(std::min(column + 1.0, right) - std::max(double(column), left));
    for (int row = firstRow; row <= lastRow; ++row) {
        const double rowCover = std::min(row + 1.0, bottom) - std::max(double(row), top);
        auto *pixels = reinterpret_cast<QRgb *>(layer.scanLine(row)) + firstColumn;
        for (qsizetype i = 0; i < columnCover.size(); ++i) {
            const int alpha = int(rowCover * columnCover[i] * 255 + 0.5);
            if (alpha > qAlpha(pixels[i]))
                pixels[i] = qPremultiply(qRgba(qRed(color), qGreen(color), qBlue(color), alpha));
        }
    }
}

// A line through points with round joins, laid on at the colour's alpha times opacity. It is drawn
// opaque into a layer of its own, segment by segment with a round dot on every joint, the segments
// inside a pixel column as bands: the same shape as one round-joined stroke, at a cost that follows
// the pixels it covers rather than how often a dense series crosses itself.
void strokeLine(QPainter &painter, const QPolygonF &points, const QColor &color, double opacity, double width)
{
    if (points.size() < 2)
        return;
    const QTransform toDevice = painter.deviceTransform();
    const double margin = width;
    QRectF reach = points.boundingRect().adjusted(-margin, -margin, margin, margin);
    if (painter.hasClipping())
        reach = reach.intersected(painter.clipBoundingRect());
    const QRect area = toDevice.mapRect(reach).toAlignedRect();
    if (area.isEmpty())
        return;
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    const QTransform toLayer = toDevice * QTransform::fromTranslate(-area.x(), -area.y());
    const QPolygonF onLayer = toLayer.map(points);
    const double layerWidth = width * std::abs(toLayer.m11());
    QColor opaque = color;
    opaque.setAlphaF(1.0f);
    const LineSegments segments = columnSegments(onLayer);
    for (const QLineF &column : segments.columns)
        fillColumnSegment(layer, column, layerWidth, opaque.rgb());
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHint(QPainter::Antialiasing);
        layerPainter.setPen(QPen(opaque, layerWidth, Qt::SolidLine, Qt::FlatCap));
        layerPainter.drawLines(segments.steps);
        DotStamps dots(layerWidth, opaque);
        for (qsizetype i = 1; i + 1 < onLayer.size(); ++i)
            dots.stamp(layerPainter, onLayer[i]);
    }
    drawImageAtDevicePixel(painter, area.topLeft(), layer, opacity * color.alphaF());
}

// A kind of vertical one-pixel lines: where each falls, as a fraction of the width, and its colour.
struct VerticalLines {
    const QList<CWGridLine> &lines;
    QColor color;
};

// One-pixel lines across area, the kinds in their order. They are drawn as one image, each row a
// copy of the lines' antialiased profile: a single blend, where a line of its own is a blend of
// every row it crosses, and the raster engine hands each of those blends to its threads.
void drawVerticalLines(QPainter &painter, std::span<const VerticalLines> kinds, const QRectF &area)
{
    const QTransform toDevice = painter.deviceTransform();
    const QRect device = toDevice.mapRect(area).toRect();
    if (device.isEmpty())
        return;
    const double ratio = std::hypot(toDevice.m11(), toDevice.m12());
    QImage image(device.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter rowPainter(&image);
        rowPainter.setRenderHint(QPainter::Antialiasing);
        for (const VerticalLines &kind : kinds) {
            rowPainter.setPen(QPen(kind.color, ratio, Qt::SolidLine, Qt::FlatCap));
            for (const CWGridLine &line : kind.lines) {
                const double x = toDevice.map(QPointF(area.x() + line.fract * area.width(), area.y())).x() - device.x();
                rowPainter.drawLine(QPointF(x, 0), QPointF(x, 1));
            }
        }
    }
    const auto rowBytes = size_t(image.bytesPerLine());
    for (int y = 1; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), image.constScanLine(0), rowBytes);
    drawImageAtDevicePixel(painter, device.topLeft(), image);
}

void strokeOutline(QPainter &painter, const QPainterPath &outline)
{
    CWPainterStateGuard guard(painter);
    painter.translate(0.5, 0.5);
    painter.strokePath(outline, QPen(Qt::white, 0.2));
}

} // namespace

CWGraphView::CWGraphView(QWidget *parent)
    : CWGradientView(parent)
{
    _performInit();
}

void CWGraphView::_performInit()
{
    _timeScale = CWGraphGrid::Years;
    _needsRegrid = true;
    _metrics = CWGraphMetrics();
    _drawColor = deviceRGB(1.0, 0.2, 0.2, 0.8);
    _currentCapColor = deviceRGB(0.0, 1.0, 0.0, 0.65);
    _maxCapColor = deviceRGB(1.0, 0.5, 0.0, 0.8);
    _tempColor = deviceRGB(0.0, 1.0, 1.0, 0.7);
    _voltsColor = deviceRGB(1.0, 1.0, 0.0, 0.6);
    _graphBGGradient = stops({{0.0, CWUtil::hexColorToCGColor("142740")}, {1.0, CWUtil::hexColorToCGColor("161823")}});
    _graphGlassGradient = stops({{0.0, deviceRGB(1, 1, 1, 0.18)},
                                 {0.5, deviceRGB(1, 1, 1, 0.12)},
                                 {0.5, deviceRGB(1, 1, 1, 0.04)},
                                 {1.0, deviceRGB(1, 1, 1, 0.01)}});
    _timeScaleGradient = stops({{0.0, deviceRGB(0.14, 0.14, 0.14, 0.7)},
                                {0.5, deviceRGB(0.12, 0.12, 0.12, 0.7)},
                                {0.5, deviceRGB(0.04, 0.04, 0.04, 0.7)},
                                {1.0, deviceRGB(0.06, 0.06, 0.06, 0.7)}});
    const QString helvetica = QStringLiteral("Helvetica Neue");
    _legendFont = namedFont(helvetica, QStringLiteral("Light"), CWUtil::systemFontOfSize(11));
    _scaleFont = namedFont(helvetica, QStringLiteral("Light"), CWUtil::boldSystemFontOfSize(10));
    _timeFont = namedFont(helvetica, QStringLiteral("Light"),
                          namedFont(helvetica, QStringLiteral("Medium"), CWUtil::systemFontOfSize(13)));
    _signFont = CWUtil::boldSystemFontOfSize(11);
}

void CWGraphView::addGraphSpec(CWGraphSpec spec, qint64 list)
{
    if (list == Top)
        _graphSpecs.push_back(std::move(spec));
    else if (list == Bottom)
        _graphSpecsBot.push_back(std::move(spec));
}

void CWGraphView::clearGraphSpecs()
{
    _graphSpecs.clear();
    _graphSpecsBot.clear();
}

std::vector<std::vector<CWGraphVertex>> CWGraphView::takeGraphVertices()
{
    std::vector<std::vector<CWGraphVertex>> vertices;
    for (std::vector<CWGraphSpec> *list : {&_graphSpecs, &_graphSpecsBot}) {
        for (CWGraphSpec &spec : *list)
            vertices.push_back(std::move(spec.vertices));
    }
    clearGraphSpecs();
    return vertices;
}

void CWGraphView::setSecondsAgo(double secondsAgo)
{
    _secondsAgo = secondsAgo;
    _needsRegrid = true;
}

void CWGraphView::setStartDate(const QDateTime &startDate)
{
    _startDate = startDate;
    _needsRegrid = true;
}

void CWGraphView::setEndDate(const QDateTime &endDate)
{
    _endDate = endDate;
    _needsRegrid = true;
}

std::pair<QDateTime, QDateTime> CWGraphView::effectiveRange() const
{
    if (_secondsAgo == 0.0)
        return {_startDate, _endDate};
    const QDateTime now = QDateTime::currentDateTime();
    return {now.addMSecs(-qint64(std::llround(_secondsAgo * 1000.0))), now};
}

void CWGraphView::refreshGrid()
{
    _needsRegrid = true;
    update();
}

void CWGraphView::updateGrid()
{
    const auto [start, end] = effectiveRange();
    const CWGraphGrid::TimeScale scale = CWGraphGrid::timeScaleFor(double(start.msecsTo(end)) / 1000.0, width());
    if (scale != _timeScale) {
        _timeScale = scale;
        _needsRegrid = true;
    }
    if (!_needsRegrid)
        return;
    const UserDefaults &defaults = UserDefaults::standard();
    const CWGraphGrid::ValueScales scales = CWGraphGrid::valueScales(
        {defaults.doubleForKey(QStringLiteral("CWBattNominalVoltage")),
         defaults.doubleForKey(QStringLiteral("CWVoltsSpread")), defaults.integerForKey(kTemperatureUnitKey),
         defaults.doubleForKey(QStringLiteral("CWMaxAH"))});
    _voltsMin = scales.voltsMin;
    _voltsMax = scales.voltsMax;
    _maxAh = scales.maxAh;
    _majorYLines = scales.lines;
    const CWGraphGrid::TimeLines lines = CWGraphGrid::timeLines(start, end, _timeScale, QTimeZone::systemTimeZone());
    _majorXLines = lines.major;
    _minorXLines = lines.minor;
    _needsRegrid = false;
}

void CWGraphView::_cacheBeziersForSize(const QSizeF &size)
{
    _layout = CWGraphLayout::forSize(size, _metrics);
    _beziersCachedForSize = size;
}

const CWGraphLayout &CWGraphView::_currentLayout()
{
    if (_beziersCachedForSize != QSizeF(size()))
        _cacheBeziersForSize(size());
    return _layout;
}

void CWGraphView::drawRect(QPainter &painter)
{
    _currentLayout();
    updateGrid();
    _drawUnderlay(painter);
    _drawBotGraph(painter);
    _drawTopGraph(painter);
}

void CWGraphView::_drawUnderlay(QPainter &painter)
{
    const double ratio = painter.device()->devicePixelRatioF();
    const UnderlayKey key{size(), ratio,   gradient(),   angle(),
                          type(), noise(), _majorYLines, UserDefaults::standard().integerForKey(kTemperatureUnitKey)};
    if (_underlay.isNull() || !(key == _underlayKey)) {
        _underlay = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        _underlay.setDevicePixelRatio(ratio);
        _underlay.fill(Qt::transparent);
        QPainter underlayPainter(&_underlay);
        underlayPainter.setRenderHint(QPainter::Antialiasing);
        CWUtil::flipToYUp(underlayPainter, height());
        CWGradientView::drawRect(underlayPainter);
        _drawLegends(underlayPainter);
        _drawPowerScale(underlayPainter);
        _underlayKey = key;
    }
    CWUtil::drawImage(painter, QRectF(QPointF(0, 0), size()), _underlay);
}

void CWGraphView::_drawLegends(QPainter &painter)
{
    const CWGraphMetrics &m = _metrics;
    const QRectF top = _layout.topGraphBounds;
    const QColor colors[] = {_voltsColor, _tempColor, _maxCapColor, _currentCapColor, _drawColor};
    const QString labels[] = {QStringLiteral("Volts"),
                              temperatureLabel(UserDefaults::standard().integerForKey(kTemperatureUnitKey)),
                              QStringLiteral("Max Capacity (Ah)"), QStringLiteral("Charge Level (Ah)"), kDrawLabel};
    const QColor tickColor = CWUtil::hexColorToCGColor("ffffff12");
    for (int i = 0; i < CWGraphLayout::LegendCount; ++i) {
        painter.setFont(_legendFont);
        painter.setPen(colors[i]);
        CWUtil::drawText(painter, QRectF(0, m.legendVSpacing * i + m.pad + 2, m.pad + m.legendExtentRight, 17),
                         Qt::AlignRight | Qt::AlignTop, labels[i]);
        {
            CWPainterStateGuard guard(painter);
            painter.setOpacity(0.2);
            painter.fillPath(_layout.legendBGs[i], colors[i]);
            painter.setOpacity(0.9);
            painter.translate(m.legendHSpacing * i + m.pad, top.y() + m.graphRadius);
            painter.setFont(_scaleFont);
            QPainterPath ticks;
            for (const CWGridLine &line : _majorYLines.value(i)) {
                const double y = line.fract * (top.height() - 2 * m.graphRadius);
                ticks.moveTo(0, y);
                ticks.lineTo(m.legendHSpacing, y);
                if (line.label.isNull())
                    continue;
                CWPainterStateGuard labelGuard(painter);
                painter.translate(3, y);
                drawScaleLabel(painter, line.label, m.legendHSpacing);
            }
            painter.strokePath(ticks, QPen(tickColor, 1.0));
        }
        painter.strokePath(_layout.legendLines[i], QPen(colors[i], 2.0, Qt::SolidLine, Qt::FlatCap));
    }
}

// The square-root power scale beside the bottom graph: the lower half tinted for drawing from the
// battery, the upper half for charging, with a zero mark and ticks at 10 to 50 W.
void CWGraphView::_drawPowerScale(QPainter &painter)
{
    const QRectF top = _layout.topGraphBounds;
    const QRectF bot = _layout.botGraphBounds;
    const double R = _metrics.graphRadius;
    const double mid = bot.y() + bot.height() * 0.5;
    CWPainterStateGuard guard(painter);
    {
        CWPainterStateGuard tint(painter);
        painter.setOpacity(0.2);
        const QRectF half(top.x() + 1, bot.y(), R + _metrics.legendHSpacing, bot.height() * 0.5);
        painter.fillRect(half, _drawColor);
        painter.translate(0, bot.height() * 0.5);
        painter.fillRect(half, _currentCapColor);
    }
    // Just left of "Draw (W)", so that the row reads as one two-coloured caption, whatever the
    // font's widths.
    const CWGraphMetrics &m = _metrics;
    const double captionEnd = m.pad + m.legendExtentRight - QFontMetricsF(_legendFont).horizontalAdvance(kDrawLabel);
    painter.setFont(_legendFont);
    painter.setPen(_currentCapColor);
    CWUtil::drawText(painter, QRectF(0, m.legendVSpacing * int(CWGraphLayout::Draw) + m.pad + 2, captionEnd, 17),
                     Qt::AlignRight | Qt::AlignTop, QStringLiteral("Charge / "));

    painter.setPen(QPen(_currentCapColor, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(top.x() + 1, mid), QPointF(top.x() + 1, bot.bottom()));
    const QRectF zero = CWGraphLayout::integralRect(QRectF(top.x(), mid, bot.x() - top.x(), 1.0));
    painter.fillRect(zero, _currentCapColor);
    drawAtPoint(painter, QPointF(top.x() + 5, mid + 2), QStringLiteral("+"), _signFont, _currentCapColor);
    painter.fillRect(zero.translated(0, -1), _drawColor);
    drawAtPoint(painter, QPointF(top.x() + 6, mid - 12), QStringLiteral("-"), _signFont, _drawColor);

    // sqrt(1/5) ... sqrt(5/5): 10, 20, 30, 40 and 50 W on the square-root scale.
    static constexpr double ticks[] = {0.4472135954999579, 0.6324555320336759, 0.7745966692414834, 0.8944271909999159,
                                       1.0};
    const double q = (bot.height() - 2 * R) * 0.5;
    QPainterPath drawTicks;
    QPainterPath chargeTicks;
    for (double f : ticks) {
        drawTicks.addRect(CWGraphLayout::integralRect(QRectF(zero.x(), zero.y() - q * f, zero.width(), 1.0)));
        chargeTicks.addRect(CWGraphLayout::integralRect(QRectF(zero.x(), zero.y() + 1 + q * f, zero.width(), 1.0)));
    }
    {
        CWPainterStateGuard drawSide(painter);
        painter.fillPath(drawTicks, _drawColor);
        painter.setOpacity(0.5);
        painter.fillPath(drawTicks, _drawColor);
        drawAtPoint(painter, QPointF(top.x() + 3, bot.y() + 12), QStringLiteral("50"), _scaleFont, _drawColor);
    }
    CWPainterStateGuard chargeSide(painter);
    painter.setOpacity(0.5);
    painter.fillPath(chargeTicks, _currentCapColor);
    drawAtPoint(painter, QPointF(top.x() + 3, bot.bottom() - 24), QStringLiteral("50"), _scaleFont, _currentCapColor);
}

void CWGraphView::_drawBotGraph(QPainter &painter)
{
    const QPainterPath &outline = _layout.botGraphBG;
    const QRectF bounds = outline.boundingRect();
    {
        CWPainterStateGuard guard(painter);
        painter.setClipPath(outline);
        drawLinearGradient(painter, _graphBGGradient, bounds, -90);
        _drawBotGraphContent(painter);
        CWUtil::drawNoiseOnOpaque(painter, CWUtil::noiseImage(), size(), 0.08);
        drawLinearGradient(painter, _graphGlassGradient, bounds, -90);
    }
    strokeOutline(painter, outline);
}

void CWGraphView::_drawTopGraph(QPainter &painter)
{
    const QPainterPath &outline = _layout.topGraphBG;
    const QRectF top = _layout.topGraphBounds;
    {
        CWPainterStateGuard guard(painter);
        painter.setClipPath(outline);
        drawLinearGradient(painter, _graphBGGradient, outline.boundingRect(), -90);
        _drawTopGraphContent(painter);
        const QRectF band(top.x(), top.y(), top.width(), _metrics.graphRadius);
        {
            CWPainterStateGuard bandGuard(painter);
            painter.setClipRect(band, Qt::IntersectClip);
            drawLinearGradient(painter, _timeScaleGradient, band, -90);
        }
        CWUtil::drawNoiseOnOpaque(painter, CWUtil::noiseImage(), size(), 0.08);
        painter.fillRect(QRectF(top.x(), band.bottom(), top.width(), 1.0), deviceRGB(1, 1, 1, 0.165));
        _drawTimeLines(painter);
        drawLinearGradient(painter, _graphGlassGradient, outline.boundingRect(), -90);
    }
    strokeOutline(painter, outline);
}

void CWGraphView::_drawTimeLines(QPainter &painter)
{
    const QRectF top = _layout.topGraphBounds;
    const double R = _metrics.graphRadius;
    CWPainterStateGuard guard(painter);
    painter.translate(top.x(), top.y());
    const VerticalLines kinds[] = {{_minorXLines, CWUtil::hexColorToCGColor("ffffff07")},
                                   {_majorXLines, CWUtil::hexColorToCGColor("ffffff0c")}};
    drawVerticalLines(painter, kinds, QRectF(0, R, top.width(), top.height() - R));
    painter.setFont(_timeFont);
    painter.setPen(deviceRGB(1, 1, 1, 0.77));
    for (const VerticalLines &kind : kinds) {
        for (const CWGridLine &line : kind.lines) {
            if (!line.label.isNull())
                CWUtil::drawText(painter, QRectF(line.fract * top.width() - 75, 5, 150, 20),
                                 Qt::AlignHCenter | Qt::AlignTop, line.label);
        }
    }
}

void CWGraphView::_drawTopGraphContent(QPainter &painter)
{
    _drawGraphContent(painter, _layout.topGraphBounds, _graphSpecs);
}

void CWGraphView::_drawBotGraphContent(QPainter &painter)
{
    _drawGraphContent(painter, _layout.botGraphBounds, _graphSpecsBot);
}

// Series are thinned to what the plot's pixels can show first: what is drawn stays the same, and a
// year of samples costs no more to draw than a few hundred.
void CWGraphView::_drawGraphContent(QPainter &painter, const QRectF &graph, const std::vector<CWGraphSpec> &specs)
{
    CWPainterStateGuard guard(painter);
    const double R = _metrics.graphRadius;
    const QRectF plot(graph.x(), graph.y() + R, graph.width(), graph.height() - 2 * R);
    const double pixelRatio = painter.device()->devicePixelRatioF();
    for (const CWGraphSpec &spec : specs)
        drawGraph(spec.decimated(plot.width() * pixelRatio, plot.height() * pixelRatio), plot, painter);
}

void CWGraphView::drawGraph(const CWGraphSpec &spec, const QRectF &rect, QPainter &painter)
{
    const std::vector<CWGraphVertex> &vertices = spec.vertices;
    if (vertices.empty())
        return;
    CWPainterStateGuard guard(painter);
    painter.translate(rect.topLeft());
    const double w = rect.width();
    const double h = rect.height();
    QPolygonF curve;
    curve.reserve(qsizetype(vertices.size()) + 4);
    for (const CWGraphVertex &vertex : vertices)
        curve.append(QPointF(vertex.x * w, vertex.y * h));
    if (spec.type == 1 || spec.type == 2) {
        // Up to twice the plot's height: the outline cuts it at the graph's top.
        curve.prepend(QPointF(0, vertices.front().y * h));
        curve.prepend(QPointF(0, 2 * h));
        curve.append(QPointF(w, vertices.back().y * h));
        curve.append(QPointF(w, 2 * h));
        painter.setOpacity(spec.alpha);
        painter.setPen(Qt::NoPen);
        painter.setBrush(spec.color);
        painter.drawPolygon(curve, Qt::WindingFill);
    } else if (spec.type == 0) {
        strokeLine(painter, curve, spec.color, spec.alpha, _currentLayout().topGraphBounds.height() / 125);
    }
}

void CWGraphView::mousePressEvent(QMouseEvent *event)
{
    const QPointF click(event->position().x(), height() - event->position().y());
    // The temperature legend's label and its scale strip in the default layout.
    const QRectF top = _currentLayout().topGraphBounds;
    const QRectF label(150, 36, 100, 20);
    const QRectF strip(30, top.y(), 15, top.height());
    if (!label.contains(click) && !strip.contains(click))
        return;
    UserDefaults &defaults = UserDefaults::standard();
    const qint64 unit = defaults.integerForKey(kTemperatureUnitKey);
    defaults.setInteger(kTemperatureUnitKey, unit == 1 ? 2 : unit == 2 ? 3 : 1);
}
