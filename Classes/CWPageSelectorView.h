#pragma once

#include <QGradientStops>
#include <QVariantList>
#include <QWidget>

class CWPageSelectorView;
class CWPDFAtlasTileImage;

// Receives every selection the page list makes (also a repeated one).
class CWPageSelectorViewDelegate {
public:
    virtual ~CWPageSelectorViewDelegate() = default;
    virtual void pageSelector(CWPageSelectorView *pageSelector, qint64 selectedPage) = 0;
};

// The list of pages down the left side of the main window: one fixed-height row per page with an
// embossed icon and a name over a pale gradient, the selected row in a stronger blue. Clicks and
// the Up and Down arrow keys select rows; every selection goes to the delegate.
//
// A row spec is a QVariantMap; the view reads "name" (QString) and "image"
// (std::shared_ptr<CWPDFAtlasTileImage>), both optional, and ignores other keys ("description").
class CWPageSelectorView : public QWidget {
    Q_OBJECT

public:
    explicit CWPageSelectorView(QWidget *parent = nullptr);

    // -1 means no row. Setting always tells the delegate, even for the same or an unknown index.
    qint64 selectedIndex() const { return _selectedIndex; }
    void setSelectedIndex(qint64 selectedIndex);

    qreal rowHeight() const { return _rowHeight; }
    void setRowHeight(qreal rowHeight);

    // The rows, top to bottom.
    const QVariantList &rowSpecs() const { return _rowSpecs; }
    void setRowSpecs(const QVariantList &rowSpecs);

    // Colours of the whole view's background and of the selected row, bottom (0) to top (1).
    // Setting them does not repaint.
    const QGradientStops &gradient() const { return _gradient; }
    void setGradient(const QGradientStops &gradient) { _gradient = gradient; }
    const QGradientStops &selectedGradient() const { return _selectedGradient; }
    void setSelectedGradient(const QGradientStops &selectedGradient) { _selectedGradient = selectedGradient; }

    // Not owned.
    CWPageSelectorViewDelegate *delegate() const { return _delegate; }
    void setDelegate(CWPageSelectorViewDelegate *delegate) { _delegate = delegate; }

    // The row under a point in widget coordinates, or -1.
    qint64 rowForPoint(const QPointF &point) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void _initState();
    void _drawRow(QPainter &painter, qint64 row, qreal width) const;
    void _drawIcon(QPainter &painter, const CWPDFAtlasTileImage &tile) const;
    void _drawName(QPainter &painter, const QString &name, qreal width) const;

    qint64 _selectedIndex = -1;
    qreal _rowHeight = 0;
    QVariantList _rowSpecs;
    QGradientStops _gradient;
    QGradientStops _selectedGradient;
    QGradientStops _btnGrad; // fill of the icons, top (0) to bottom (1)
    CWPageSelectorViewDelegate *_delegate = nullptr;
};
