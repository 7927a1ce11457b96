#include "CWDashboardView.h"

#include "CWBatteryMonitor.h"
#include "CWBatteryReadout.h"
#include "CWDashboardArtwork.h"
#include "CWUtil.h"
#include "Console.h"
#include "MuxMagic.h"
#include "UserDefaults.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPdfDocument>
#include <cmath>

namespace {

constexpr std::chrono::milliseconds kAnimationInterval{1000 / 30};

const QString kTemperatureUnitKey = QStringLiteral("CWDefaultTemperatureUnit");
const QString kBattUnitKey = QStringLiteral("CWDefaultBattUnit");

// The rectangle in widget coordinates (y down) of a y-up rectangle in a view `height` high,
// grown to whole pixels.
QRect widgetRect(const QRectF &rect, int height)
{
    return QRectF(rect.x(), height - rect.bottom(), rect.width(), rect.height()).toAlignedRect();
}

void applyArrowState(CWDashboardArrow &arrow, const CWDashboardState::Arrow &state)
{
    if (state.speed)
        arrow.speed = *state.speed;
    if (arrow.hidden != state.hidden) {
        arrow.hidden = state.hidden;
        arrow.dirty = true;
    }
}

} // namespace

CWDashboardView::CWDashboardView(QWidget *parent)
    : QWidget(parent)
{
    // The background layer covers every pixel: nothing needs clearing before a paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    _animTimer.setInterval(kAnimationInterval);
    connect(&_animTimer, &QTimer::timeout, this, &CWDashboardView::_fireAnimTimer);
}

CWDashboardView::~CWDashboardView()
{
    tearDownObservations();
    _clearPDFLayersCache();
}

void CWDashboardView::setMonitor(const CWBatteryMonitor *monitor)
{
    const bool observing = bool(_battUpdatedObservation);
    tearDownObservations();
    _monitor = monitor;
    if (observing)
        setupObservations();
    updateFromBatt();
}

double CWDashboardView::_now() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void CWDashboardView::_reshapeIfNeeded()
{
    if (_layoutForSize == size())
        return;
    _layoutForSize = size();
    _layout = CWDashboardLayout::forSize(size());
    const CWDashboardArrow::Routes routes = CWDashboardArrow::routes(size(), _layout.battFrame.width());
    const QList<qreal> lengths = CWDashboardArrow::dashLengths(routes.plugToBatt);
    const double lineWidth = CWDashboardArrow::lineWidth(routes.plugToBatt);
    for (auto [arrow, path] :
         {std::pair{&_arrowPlugToBatt, &routes.plugToBatt}, std::pair{&_arrowPlugToComp, &routes.plugToComp},
          std::pair{&_arrowBattToComp, &routes.battToComp}}) {
        arrow->path = *path;
        arrow->lengths = lengths;
        arrow->width = lineWidth;
    }
}

QRectF CWDashboardView::_plugAdornmentFrame() const
{
    return CWDashboardLayout::plugAdornmentFrame(_layout.plugFrame);
}

QRectF CWDashboardView::_battDrawStringFrame() const
{
    return CWDashboardLayout::battDrawStringFrame(_layoutForSize);
}

// --- State -----------------------------------------------------------------------------------

void CWDashboardView::updateFromBatt()
{
    const CWBatteryMonitor *monitor = _monitor;
    if (!monitor) {
        Console::line(QStringLiteral("[CWDashboardView updateFromBatt] failed"));
        return;
    }
    _reshapeIfNeeded();
    const UserDefaults &defaults = UserDefaults::standard();
    const qint64 tempUnit = defaults.integerForKey(kTemperatureUnitKey);
    const bool usingIntegrated = SessionMagic::sharedInstance().usingIntegrated();
    const bool hasBattery = monitor->hasBattery();
    const size_t hash = _hashOf(monitor->battInfo());
    const CWDashboardState state =
        CWDashboardState::derive({monitor->isCharging(), monitor->hasAdapter(), monitor->wattage(), monitor->amperage(),
                                  defaults.objectForKey(kBattUnitKey).toLongLong()});

    QRectF dirty;
    if (hasBattery != _battPresent || hash != _battInfoHash || tempUnit != _tempUnit) {
        _battPresent = hasBattery;
        _battInfoHash = hash;
        if (tempUnit != _tempUnit) {
            _tempUnitChanged = true;
            _tempUnit = tempUnit;
        }
        dirty = CWDashboardLayout::joined(dirty, _layout.battFrame);
    }
    if (!usingIntegrated != _accelGraphics) {
        _accelGraphics = !usingIntegrated;
        dirty = CWDashboardLayout::joined(dirty, _layout.compLyrFrame);
    }
    if (state.adapterState != _adapterState) {
        _adapterState = state.adapterState;
        dirty = CWDashboardLayout::joined(dirty, _plugAdornmentFrame());
    }
    if (state.label != _battDrawString) {
        _battDrawString = state.label;
        dirty = CWDashboardLayout::joined(dirty, _battDrawStringFrame());
    }
    applyArrowState(_arrowPlugToBatt, state.plugToBatt);
    applyArrowState(_arrowPlugToComp, state.plugToComp);
    applyArrowState(_arrowBattToComp, state.battToComp);
    dirty = CWDashboardLayout::joined(dirty, _arrowsBoundingRect());
    if (!dirty.isEmpty())
        setNeedsDisplayInRect(dirty);
}

size_t CWDashboardView::_hashOf(const QVariant &battInfo)
{
    // Painting asks for the battery layer many times a second; the snapshot changes once at most.
    const QVariantMap snapshot = battInfo.toMap();
    if (!_hashedSnapshot || !_hashedSnapshot->isSharedWith(snapshot) || battInfo.isNull() != _hashedSnapshotWasNull) {
        _hashedSnapshot = snapshot;
        _hashedSnapshotWasNull = battInfo.isNull();
        _hashedSnapshotHash = CWDashboardState::snapshotHash(battInfo);
    }
    return _hashedSnapshotHash;
}

void CWDashboardView::setupObservations()
{
    if (_battUpdatedObservation)
        return;
    _battUpdatedObservation =
        NotificationCenter::defaultCenter().addObserver(kCWBatteryUpdatedNotification, _monitor,
                                                        [this](const Notification &) { updateFromBatt(); });
    if (!MuxMagic::switcherOpen())
        Console::line(QStringLiteral("Can't open driver"));
    SessionMagic &session = SessionMagic::sharedInstance();
    session.setUsingIntegrated(MuxMagic::isUsingIntegrated());
    session.setDelegate(this);
}

void CWDashboardView::tearDownObservations()
{
    if (!_battUpdatedObservation)
        return;
    _battUpdatedObservation.reset();
    SessionMagic::sharedInstance().setDelegate(nullptr);
    MuxMagic::switcherClose();
}

// --- Animation -------------------------------------------------------------------------------

void CWDashboardView::startAnimating()
{
    if (_animationWanted)
        Console::line(QStringLiteral("ERROR: Tried to start an animation timer when one was already in place"));
    _animationWanted = true;
    _syncAnimTimer();
}

void CWDashboardView::stopAnimating()
{
    _animationWanted = false;
    _syncAnimTimer();
}

bool CWDashboardView::_isOnScreen() const
{
    return isVisible() && !_hiddenBySystem && !window()->isMinimized();
}

void CWDashboardView::_syncAnimTimer()
{
    const bool run = _animationWanted && _isOnScreen();
    if (run && !_animTimer.isActive())
        _animTimer.start();
    else if (!run && _animTimer.isActive())
        _animTimer.stop();
}

void CWDashboardView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Minimising reaches the view only as a change of its window's state.
    if (_watchedWindow != window()) {
        if (_watchedWindow)
            _watchedWindow->removeEventFilter(this);
        _watchedWindow = window();
        _watchedWindow->installEventFilter(this);
    }
    _hiddenBySystem = false;
    _syncAnimTimer();
}

void CWDashboardView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A spontaneous hide is the window system taking the window off screen (minimised, unmapped).
    _hiddenBySystem = event->spontaneous();
    _syncAnimTimer();
}

bool CWDashboardView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == _watchedWindow && event->type() == QEvent::WindowStateChange)
        _syncAnimTimer();
    return QWidget::eventFilter(watched, event);
}

void CWDashboardView::_update()
{
    const double now = _now();
    if (_lastUpdated == 0.0)
        _lastUpdated = now;
    const double seconds = now - _lastUpdated;
    const double scale = width() / 1000.0;
    for (CWDashboardArrow *arrow : {&_arrowPlugToBatt, &_arrowPlugToComp, &_arrowBattToComp})
        arrow->advance(seconds, scale);
    _lastUpdated = now;
}

QRectF CWDashboardView::_arrowsBoundingRect() const
{
    QRectF area;
    for (const CWDashboardArrow *arrow : {&_arrowPlugToBatt, &_arrowPlugToComp, &_arrowBattToComp})
        area = CWDashboardLayout::joined(area, arrow->redrawArea());
    return area;
}

void CWDashboardView::_fireAnimTimer()
{
    _reshapeIfNeeded();
    const QRectF area = _arrowsBoundingRect();
    // Ticks alternate: one moves the dashes on and marks them, the next repaints them.
    if (area.isEmpty())
        _update();
    else
        setNeedsDisplayInRect(area);
}

void CWDashboardView::setNeedsDisplayInRect(const QRectF &rect)
{
    if (rect.isEmpty()) {
        Console::line(QStringLiteral("Skipping empty display rect"));
        return;
    }
    update(widgetRect(rect, height()));
}

// --- Artwork cache ---------------------------------------------------------------------------

CWCachedPDFLayer *CWDashboardView::_cachedPDFLayerNamed(const QString &name)
{
    for (CWCachedPDFLayer &entry : _cachedPDFLayers) {
        if (entry.name == name)
            return &entry;
    }
    std::shared_ptr<QPdfDocument> document = CWUtil::pdfResource(name);
    if (!document || document->pageCount() < 1)
        return nullptr;
    _cachedPDFLayers.push_back({name, QSizeF(), 0.0, std::move(document), QImage(), 0});
    return &_cachedPDFLayers.back();
}

QImage CWDashboardView::_layerForPDFNamed(const QString &name, const QSizeF &size)
{
    if (size.isEmpty() || name.isEmpty())
        return {};
    CWCachedPDFLayer *entry = _cachedPDFLayerNamed(name);
    if (!entry)
        return {};
    if (!entry->hasLayer(size, _devicePixelRatio, 0)) {
        entry->layer = CWDashboardArtwork::pageImage(entry->document.get(), size, _devicePixelRatio);
        entry->size = size;
        entry->devicePixelRatio = _devicePixelRatio;
    }
    return entry->layer;
}

QImage CWDashboardView::_layerForMacBookPDFWithGPU(bool accelGraphics, const QSizeF &size)
{
    if (size.isEmpty())
        return {};
    CWCachedPDFLayer *entry = _cachedPDFLayerNamed(QStringLiteral("mbp"));
    if (!entry)
        return {};
    if (!entry->hasLayer(size, _devicePixelRatio, accelGraphics)) {
        entry->layer = CWDashboardArtwork::computer(entry->document.get(), accelGraphics, size, _devicePixelRatio);
        entry->size = size;
        entry->devicePixelRatio = _devicePixelRatio;
        entry->variant = accelGraphics;
    }
    return entry->layer;
}

QImage CWDashboardView::_layerForBattPDFWithBattInfo(const QVariant &battInfo, const QSizeF &size)
{
    if (size.isEmpty())
        return {};
    CWCachedPDFLayer *entry = _cachedPDFLayerNamed(QStringLiteral("batt"));
    if (!entry)
        return {};
    const size_t hash = _hashOf(battInfo);
    if (entry->hasLayer(size, _devicePixelRatio, hash) && !_tempUnitChanged)
        return entry->layer;
    _tempUnitChanged = false;

    const bool installed = CWBatteryReadout::isInstalled(battInfo);
    const QVariantMap snapshot = battInfo.toMap();
    const double w = size.width(), h = size.height();
    const double m = (h - w) / 2; // the bands below and above the battery body
    const QRectF body(0, m, w, w);
    QImage layer = CWDashboardArtwork::newLayer(size, _devicePixelRatio);
    if (layer.isNull())
        return {};
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing);
    CWUtil::flipToYUp(painter, h);
    const double charge = installed ? CWBatteryReadout::charge(snapshot) : 0.0;
    CWDashboardArtwork::drawCylinder(painter, charge, body, entry->document.get(),
                                     CWDashboardArtwork::kBatteryCylinder);
    if (installed) {
        const double fontSize = w / 9;
        painter.setFont(CWUtil::boldAppFontOfSize(fontSize));
        const bool overHalf = charge > 0.5;
        CWDashboardArtwork::drawShadowedText(painter, QRectF(w / 4, (h - w / 6) / 2 - 0.02 * h, w / 2, w / 6),
                                             Qt::AlignHCenter | Qt::AlignTop, CWBatteryReadout::percentText(snapshot),
                                             overHalf ? Qt::black : Qt::white,
                                             overHalf ? QColor::fromRgbF(1, 1, 1, 0.7f)
                                                      : QColor::fromRgbF(0, 0, 0, 0.7f));
        _drawBatteryDetails(painter, snapshot, size);
    } else {
        // No pack in the bay: its empty glass wears the not-connected mark.
        const std::shared_ptr<QPdfDocument> mark = CWUtil::pdfResource(QStringLiteral("notplugged"));
        const double side = std::floor(w / 3);
        const QRectF square(body.center().x() - side / 2, body.center().y() - side / 2, side, side);
        CWUtil::drawImage(painter, square, CWDashboardArtwork::pageImage(mark.get(), square.size(), _devicePixelRatio));
    }
    painter.end();
    entry->layer = layer;
    entry->size = size;
    entry->devicePixelRatio = _devicePixelRatio;
    entry->variant = hash;
    return entry->layer;
}

void CWDashboardView::_drawBatteryDetails(QPainter &painter, const QVariantMap &snapshot, const QSizeF &size)
{
    const double w = size.width(), h = size.height();
    const double m = (h - w) / 2;
    const double fontSize = m / 15;

    bool exceeded = false;
    const QList<double> volts = CWBatteryReadout::cellVolts(snapshot, &exceeded);
    if (exceeded)
        Console::line(QStringLiteral("Max cells exceeded."));
    if (!volts.isEmpty()) {
        const double nominal = UserDefaults::standard().doubleForKey(QStringLiteral("CWBattNominalVoltage"));
        const CWBatteryReadout::CellRow row = CWBatteryReadout::cellRow(volts.size(), w, m);
        const double d = row.side;
        painter.setFont(CWUtil::appFontOfSize(d / 5));
        for (qsizetype i = 0; i < volts.size(); ++i) {
            const double x = row.left + static_cast<double>(i) * d;
            CWDashboardArtwork::drawCylinder(painter, CWBatteryReadout::cellFraction(volts[i], nominal, volts.size()),
                                             QRectF(x, m - d, d, d), _cellPDFPage(), CWDashboardArtwork::kCellCylinder);
            CWDashboardArtwork::drawShadowedText(painter, QRectF(x, m - d - d / 1.8, d, d / 2),
                                                 Qt::AlignHCenter | Qt::AlignTop,
                                                 QString::asprintf("Cell %i\n%0.2f V", static_cast<int>(i + 1),
                                                                   volts[i]),
                                                 QColor::fromRgbF(0.85f, 0.85f, 0.85f), Qt::black);
        }
    }

    const CWBatteryReadout::Block lower = CWBatteryReadout::lowerBlock(snapshot, _tempUnit);
    {
        CWPainterStateGuard guard(painter);
        painter.translate(w / 2, 0.31 * m);
        CWDashboardArtwork::drawLabels(painter, lower.titles, lower.values, fontSize);
    }
    const CWBatteryReadout::Block upper = CWBatteryReadout::upperBlock(snapshot);
    CWPainterStateGuard guard(painter);
    painter.translate(w / 2, h - 0.29 * m);
    CWDashboardArtwork::drawLabels(painter, upper.titles, upper.values, fontSize);
}

QPdfDocument *CWDashboardView::_cellPDFPage()
{
    if (!_cellPDFDoc) {
        _cellPDFDoc = CWUtil::pdfResource(QStringLiteral("cell"));
        if (!_cellPDFDoc)
            Console::line(QStringLiteral("Couldn't create cell PDF doc"));
    }
    return _cellPDFDoc.get();
}

void CWDashboardView::_freeCachedPDFLayerAtIndex(qsizetype index)
{
    if (index < 0 || index >= _numCachedPDFLayers())
        throw CWCachedPDFLayerIndexError();
    _cachedPDFLayers.erase(_cachedPDFLayers.begin() + index);
}

void CWDashboardView::_clearPDFLayersCache()
{
    _cachedPDFLayers.clear();
}

QImage CWDashboardView::_battDrawStringLayer(const QRectF &frame)
{
    CachedStringLayer &cached = _cachedBattDrawStringLayer;
    if (cached.string != _battDrawString || cached.size != frame.size()
        || cached.devicePixelRatio != _devicePixelRatio) {
        cached = {_battDrawString, frame.size(), _devicePixelRatio,
                  CWDashboardArtwork::embossedLabel(_battDrawString, frame.size(), _devicePixelRatio)};
    }
    return cached.layer;
}

// --- Painting and the mouse ------------------------------------------------------------------

void CWDashboardView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Layers are made at the pixel ratio the painting lands at: the screen's, or a picture's.
    const QTransform device = painter.deviceTransform();
    _devicePixelRatio = qMax(devicePixelRatioF(), std::hypot(device.m11(), device.m12()));
    _reshapeIfNeeded();
    _update();
    painter.setRenderHint(QPainter::Antialiasing);
    CWUtil::flipToYUp(painter, height());

    const QSizeF bounds = size();
    if (_bgLyrForSize != bounds || _bgLyr.devicePixelRatio() != _devicePixelRatio) {
        _bgLyr = CWDashboardArtwork::background(bounds, _devicePixelRatio);
        _bgLyrForSize = bounds;
        if (_bgLyr.isNull())
            Console::line(QStringLiteral("[CWDashboardView _genBgLayerForContext] failed"));
    }
    CWUtil::drawImage(painter, QRectF(QPointF(0, 0), bounds), _bgLyr);

    CWUtil::drawImage(painter, _layout.battFrame,
                      _layerForBattPDFWithBattInfo(_monitor ? _monitor->battInfo() : QVariant(),
                                                   _layout.battFrame.size()));

    const QColor arrowColor = CWUtil::hexColorToCGColor("20bad6");
    for (CWDashboardArrow *arrow : {&_arrowPlugToBatt, &_arrowPlugToComp, &_arrowBattToComp}) {
        if (!arrow->hidden)
            arrow->draw(painter, arrowColor);
    }
    for (CWDashboardArrow *arrow : {&_arrowPlugToBatt, &_arrowPlugToComp, &_arrowBattToComp})
        arrow->dirty = false;

    CWUtil::drawImage(painter, _layout.compLyrFrame,
                      _layerForMacBookPDFWithGPU(_accelGraphics, _layout.compLyrFrame.size()));
    CWUtil::drawImage(painter, _layout.plugFrame, _layerForPDFNamed(QStringLiteral("plug"), _layout.plugFrame.size()));

    const QRectF adornmentFrame = _plugAdornmentFrame();
    const char *adornment = CWDashboardState::adornmentName(_adapterState);
    const QImage adornmentLayer =
        adornment ? _layerForPDFNamed(QLatin1String(adornment), adornmentFrame.size()) : QImage();
    if (!_battDrawString.isNull()) {
        const QRectF labelFrame = _battDrawStringFrame();
        CWUtil::drawImage(painter, labelFrame, _battDrawStringLayer(labelFrame));
    }
    if (!adornmentLayer.isNull())
        CWUtil::drawImage(painter, adornmentFrame, adornmentLayer);
}

void CWDashboardView::mousePressEvent(QMouseEvent *event)
{
    _reshapeIfNeeded();
    const QPointF point(event->position().x(), height() - event->position().y());
    if (!_battDrawStringFrame().contains(point))
        return;
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setInteger(kBattUnitKey, defaults.integerForKey(kBattUnitKey) == 1 ? 2 : 1);
    updateFromBatt();
}
