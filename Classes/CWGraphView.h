#pragma once

#include "CWGradientView.h"
#include "CWGraphGrid.h"
#include "CWGraphLayout.h"
#include "CWGraphSpec.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QImage>

#include <utility>
#include <vector>

// The view of the "Graph" page: a tall top graph (maximum capacity, voltage, temperature, charge
// level) and a short bottom graph (battery power) over a shared time axis, colour-coded legends
// with their scales on the left, and calendar time lines and labels.
class CWGraphView : public CWGradientView {
    Q_OBJECT
public:
    enum GraphList : qint64 { Top = 0, Bottom = 1 };

    explicit CWGraphView(QWidget *parent = nullptr);

    // Keeps the series (the caller may move it in); any list but Top and Bottom is ignored. Does
    // not redraw.
    void addGraphSpec(CWGraphSpec spec, qint64 list);
    void clearGraphSpecs();
    // Empties both lists and hands back their series' vertices, whose memory the next may reuse.
    std::vector<std::vector<CWGraphVertex>> takeGraphVertices();
    const std::vector<CWGraphSpec> &graphSpecs() const { return _graphSpecs; }
    const std::vector<CWGraphSpec> &graphSpecsBot() const { return _graphSpecsBot; }

    // A range that ends now and is secondsAgo long, or, when secondsAgo is 0, the fixed dates.
    // Each setter flags the grid for rebuilding.
    double secondsAgo() const { return _secondsAgo; }
    void setSecondsAgo(double secondsAgo);
    QDateTime startDate() const { return _startDate; }
    void setStartDate(const QDateTime &startDate);
    QDateTime endDate() const { return _endDate; }
    void setEndDate(const QDateTime &endDate);
    QDateTime effectiveStartDate() const { return effectiveRange().first; }
    QDateTime effectiveEndDate() const { return effectiveRange().second; }
    // Both ends from one reading of the clock.
    std::pair<QDateTime, QDateTime> effectiveRange() const;

    // Rebuilds the grid before the next draw (a display setting changed) and redraws.
    void refreshGrid();
    // Picks the time scale for the current width and range and rebuilds the grid and the voltage
    // range when flagged. Drawing does this first; the page does it before placing its series.
    void updateGrid();

    CWGraphGrid::TimeScale timeScale() const { return _timeScale; }
    const QList<CWGridLine> &majorXLines() const { return _majorXLines; }
    const QList<CWGridLine> &minorXLines() const { return _minorXLines; }
    const QList<QList<CWGridLine>> &majorYLines() const { return _majorYLines; }
    double voltsMin() const { return _voltsMin; }
    double voltsMax() const { return _voltsMax; }
    double maxAh() const { return _maxAh; }

    QColor drawColor() const { return _drawColor; }
    QColor currentCapColor() const { return _currentCapColor; }
    QColor maxCapColor() const { return _maxCapColor; }
    QColor tempColor() const { return _tempColor; }
    QColor voltsColor() const { return _voltsColor; }

    // Draws one series into rect, the plotting rectangle (y-up), exactly as given.
    virtual void drawGraph(const CWGraphSpec &spec, const QRectF &rect, QPainter &painter);

protected:
    void drawRect(QPainter &painter) override;
    // A click on the temperature legend or its scale switches the temperature unit.
    void mousePressEvent(QMouseEvent *event) override;

private:
    void _performInit();
    void _regridScale();
    void _cacheBeziersForSize(const QSizeF &size);
    // The layout for the current size, built when the size changed.
    const CWGraphLayout &_currentLayout();
    void _drawUnderlay(QPainter &painter);
    void _drawLegends(QPainter &painter);
    void _drawPowerScale(QPainter &painter);
    void _drawBotGraph(QPainter &painter);
    void _drawTopGraph(QPainter &painter);
    void _drawTimeLines(QPainter &painter);
    void _drawTopGraphContent(QPainter &painter);
    void _drawBotGraphContent(QPainter &painter);
    void _drawGraphContent(QPainter &painter, const QRectF &graph, const std::vector<CWGraphSpec> &specs);

    // What lies under the graphs: the background, the legends and the power scale. It changes only
    // with the size, the background or a display setting, so it is drawn once for each of them.
    struct UnderlayKey {
        QSize size;
        double pixelRatio = 0.0;
        QGradientStops gradient;
        double angle = 0.0;
        qint32 type = 0;
        double noise = 0.0;
        QList<QList<CWGridLine>> scales;
        qint64 temperatureUnit = 0;

        bool operator==(const UnderlayKey &) const = default;
    };

    CWGraphMetrics _metrics;
    UnderlayKey _underlayKey;
    QImage _underlay;
    QColor _drawColor;
    QColor _currentCapColor;
    QColor _maxCapColor;
    QColor _tempColor;
    QColor _voltsColor;
    double _voltsMin = 0.0; // V at the bottom of the plotting area, as of the last regrid
    double _voltsMax = 0.0; // V at its top
    double _maxAh = 0.0;    // Ah at the top of the capacity scales, as of the last regrid
    QSizeF _beziersCachedForSize;
    bool _needsRegrid = true;
    CWGraphLayout _layout;
    QGradientStops _graphBGGradient;
    QGradientStops _graphGlassGradient;
    QGradientStops _timeScaleGradient;
    QFont _legendFont;
    QFont _scaleFont;
    QFont _timeFont;
    QFont _signFont;
    double _secondsAgo = 0.0;
    QDateTime _startDate;
    QDateTime _endDate;
    CWGraphGrid::TimeScale _timeScale = CWGraphGrid::Years;
    QList<CWGridLine> _minorXLines;
    QList<CWGridLine> _majorXLines;
    QList<QList<CWGridLine>> _majorYLines;
    std::vector<CWGraphSpec> _graphSpecs;
    std::vector<CWGraphSpec> _graphSpecsBot;
};
