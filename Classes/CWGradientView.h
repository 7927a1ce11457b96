#pragma once

#include <QGradientStops>
#include <QRadialGradient>
#include <QWidget>

class QPainter;

// A view that fills its bounds with a gradient and, optionally, lays a faint grain over it. It is
// the background of the graph view, which draws on top of it. Setting a property does not redraw;
// the owner asks for that.
class CWGradientView : public QWidget {
    Q_OBJECT
public:
    enum GradientType : qint32 { Linear = 0, Radial = 1 };

    explicit CWGradientView(QWidget *parent = nullptr);

    // Without stops nothing at all is drawn, not even the grain.
    const QGradientStops &gradient() const { return _gradient; }
    void setGradient(const QGradientStops &gradient) { _gradient = gradient; }
    double angle() const { return _angle; } // degrees; linear gradients only
    void setAngle(double angle) { _angle = angle; }
    qint32 type() const { return _type; } // a GradientType; any other value paints no gradient
    void setType(qint32 type) { _type = type; }
    double noise() const { return _noise; } // opacity of the grain; 0 or less means none
    void setNoise(double noise) { _noise = noise; }

    // Fills rect (y-up) with stops running across it at angle degrees: 0 left to right, 90 bottom to
    // top, -90 top to bottom. The ends of the ramp touch the rect's far corners.
    static void drawLinearGradient(QPainter &painter, const QGradientStops &stops, const QRectF &rect, double angle);
    // The radial form for a view of size: a glow centred half a view-height below the bottom edge,
    // from a circle of radius 1 to one of 1.5 view-heights, the end colours extended beyond both.
    static QRadialGradient radialGradient(const QGradientStops &stops, const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) final;
    // Paints the whole view in y-up coordinates; overrides call this first.
    virtual void drawRect(QPainter &painter);

private:
    QGradientStops _gradient;
    double _angle = 0.0;
    qint32 _type = Linear;
    double _noise = 0.0;
};
