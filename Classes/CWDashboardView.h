#pragma once

#include "CWCachedPDFLayer.h"
#include "CWDashboardArrow.h"
#include "CWDashboardLayout.h"
#include "CWDashboardState.h"
#include "NotificationCenter.h"
#include "SessionMagic.h"

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class CWBatteryMonitor;
class QPdfDocument;

// The "Monitor" page: the plug, the computer and the battery drawn from their artwork, the
// power-flow arrows running between them, the power-flow label and the battery's readings.
//
// Geometry is y-up, as the artwork is drawn. Every piece is rendered once into an image at the
// window's pixel ratio and only composited when painting; an animation tick repaints just the
// arrows' area.
class CWDashboardView : public QWidget, public SessionMagicDelegate {
    Q_OBJECT
public:
    explicit CWDashboardView(QWidget *parent = nullptr);
    ~CWDashboardView() override;

    // The monitor whose readings it shows (not owned); updates at once. Without one nothing is
    // known yet: no arrows, no plug adornment.
    void setMonitor(const CWBatteryMonitor *monitor);

    // Re-reads the monitor, the graphics mode and the units, and asks to repaint what changed.
    void updateFromBatt();
    void setupObservations();
    void tearDownObservations();

    // The arrows run while the page is shown and its window is on screen (not hidden to the tray,
    // not minimised).
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return _animTimer.isActive(); }

    // State, for the page's tests and its picture.
    const CWDashboardArrow &arrowPlugToBatt() const { return _arrowPlugToBatt; }
    const CWDashboardArrow &arrowPlugToComp() const { return _arrowPlugToComp; }
    const CWDashboardArrow &arrowBattToComp() const { return _arrowBattToComp; }
    const QString &battDrawString() const { return _battDrawString; }
    CWDashboardState::AdapterState adapterState() const { return _adapterState; }
    bool accelGraphics() const { return _accelGraphics; }
    bool tempUnitChanged() const { return _tempUnitChanged; }
    const CWDashboardLayout &layout() const { return _layout; }
    QRectF _plugAdornmentFrame() const;
    QRectF _battDrawStringFrame() const;

    // The artwork cache, by resource name.
    QImage _layerForPDFNamed(const QString &name, const QSizeF &size);
    QImage _layerForMacBookPDFWithGPU(bool accelGraphics, const QSizeF &size);
    QImage _layerForBattPDFWithBattInfo(const QVariant &battInfo, const QSizeF &size);
    qsizetype _numCachedPDFLayers() const { return static_cast<qsizetype>(_cachedPDFLayers.size()); }
    // Throws CWCachedPDFLayerIndexError for an index not below the count.
    void _freeCachedPDFLayerAtIndex(qsizetype index);
    void _clearPDFLayersCache();

    QRectF _arrowsBoundingRect() const;
    void _update();
    void _fireAnimTimer();
    // Requests repainting of a y-up rectangle; an empty one is refused.
    void setNeedsDisplayInRect(const QRectF &rect);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Lays the frames and arrow routes out for the view's size, once per size.
    void _reshapeIfNeeded();
    size_t _hashOf(const QVariant &battInfo);
    CWCachedPDFLayer *_cachedPDFLayerNamed(const QString &name);
    QImage _battDrawStringLayer(const QRectF &frame);
    void _drawBatteryDetails(QPainter &painter, const QVariantMap &snapshot, const QSizeF &size);
    QPdfDocument *_cellPDFPage();
    void _syncAnimTimer();
    bool _isOnScreen() const;
    double _now() const;

    const CWBatteryMonitor *_monitor = nullptr;
    QTimer _animTimer;
    bool _animationWanted = false;
    QPointer<QWidget> _watchedWindow;
    bool _hiddenBySystem = false;
    QSize _layoutForSize;
    CWDashboardLayout _layout;
    qreal _devicePixelRatio = 1.0; // of the painting in progress: layers are made at it
    QSizeF _bgLyrForSize;
    QImage _bgLyr;
    double _lastUpdated = 0.0; // seconds on a steady clock; 0 before the first advance
    size_t _battInfoHash = 0;
    QString _battDrawString;
    bool _accelGraphics = false;
    bool _battPresent = false;
    bool _tempUnitChanged = false;
    qint64 _tempUnit = 0;
    CWDashboardState::AdapterState _adapterState = CWDashboardState::Unknown;
    std::shared_ptr<QPdfDocument> _cellPDFDoc;
    CWDashboardArrow _arrowPlugToBatt;
    CWDashboardArrow _arrowPlugToComp;
    CWDashboardArrow _arrowBattToComp;
    std::vector<CWCachedPDFLayer> _cachedPDFLayers;
    struct CachedStringLayer {
        QString string;
        QSizeF size;
        qreal devicePixelRatio = 0.0;
        QImage layer;
    } _cachedBattDrawStringLayer;
    Subscription _battUpdatedObservation;
    std::optional<QVariantMap> _hashedSnapshot;
    bool _hashedSnapshotWasNull = true;
    size_t _hashedSnapshotHash = 0;
};
