#include "CWPageSelectorView.h"

#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWUtil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

QColor rgb255(int red, int green, int blue)
{
    return QColor(red, green, blue);
}

QColor grey(qreal white)
{
    return QColor::fromRgbF(float(white), float(white), float(white));
}

// A brush-filled image in the shape of the mask's ink.
QImage maskedFill(const QImage &mask, const QBrush &brush)
{
    QImage image(mask.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(mask.devicePixelRatio());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(QRectF(QPointF(0, 0), mask.deviceIndependentSize()), brush);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(QPointF(0, 0), mask);
    return image;
}

} // namespace

CWPageSelectorView::CWPageSelectorView(QWidget *parent)
    : QWidget(parent)
{
    // Set up before anything can select a row, so the launch selection is never reset by a
    // late set-up.
    _initState();
    setFocusPolicy(Qt::StrongFocus);
}

void CWPageSelectorView::_initState()
{
    _gradient = {{0.0, rgb255(210, 217, 224)}, {1.0, rgb255(232, 236, 241)}};
    _selectedGradient = {{0.0, rgb255(131, 151, 185)}, {1.0, rgb255(176, 190, 216)}};
    _btnGrad = {{0.0, grey(0.14)}, {0.3, grey(0.18)}, {0.7, grey(0.43)}, {1.0, grey(0.47)}};
    _rowSpecs.clear();
    _selectedIndex = -1;
    _rowHeight = 44.0;
}

void CWPageSelectorView::setSelectedIndex(qint64 selectedIndex)
{
    _selectedIndex = selectedIndex;
    if (_delegate)
        _delegate->pageSelector(this, selectedIndex);
    update();
}

void CWPageSelectorView::setRowHeight(qreal rowHeight)
{
    _rowHeight = rowHeight;
    updateGeometry();
    update();
}

void CWPageSelectorView::setRowSpecs(const QVariantList &rowSpecs)
{
    _rowSpecs = rowSpecs;
    updateGeometry();
    update();
}

qint64 CWPageSelectorView::rowForPoint(const QPointF &point) const
{
    if (_rowHeight <= 0)
        return -1;
    const qint64 row = qint64(std::floor(point.y() / _rowHeight));
    return row < 0 || row >= _rowSpecs.size() ? -1 : row;
}

QSize CWPageSelectorView::sizeHint() const
{
    return QSize(200, qCeil(_rowSpecs.size() * _rowHeight));
}

void CWPageSelectorView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal width = this->width();
    const qreal height = this->height();
    CWUtil::flipToYUp(painter, height);

    QLinearGradient background(0, 0, 0, height);
    background.setStops(_gradient);
    painter.fillRect(QRectF(0, 0, width, height), background);
    {
        CWPainterStateGuard rows(painter);
        painter.translate(0, height);
        for (qint64 row = 0; row < _rowSpecs.size(); ++row) {
            painter.translate(0, -_rowHeight); // the row's lower-left corner
            _drawRow(painter, row, width);
        }
    }
    painter.fillRect(QRectF(width - 1, 0, 1, height), grey(0.6));
}

void CWPageSelectorView::_drawRow(QPainter &painter, qint64 row, qreal width) const
{
    if (row == _selectedIndex) {
        QLinearGradient selected(0, 0, 0, _rowHeight);
        selected.setStops(_selectedGradient);
        painter.fillRect(QRectF(0, 0, width, _rowHeight), selected);
        // Both lines around the selected row take its gradient's first colour.
        const QColor edge = _selectedGradient.isEmpty() ? QColor(Qt::black) : _selectedGradient.first().second;
        CWPainterStateGuard guard(painter);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRectF(0, 0, width, 1), edge);
        painter.fillRect(QRectF(0, _rowHeight, width, 1), edge);
    } else {
        painter.fillRect(QRectF(0, 0, width, 1), QColor::fromRgbF(0, 0, 0, 0.13f));
    }

    const QVariantMap spec = _rowSpecs.at(row).toMap();
    if (const auto tile = spec.value(QStringLiteral("image")).value<std::shared_ptr<CWPDFAtlasTileImage>>())
        _drawIcon(painter, *tile);
    const QString name = spec.value(QStringLiteral("name")).toString();
    if (!name.isEmpty())
        _drawName(painter, name, width);
}

// A dark-grey icon with a one-point white edge showing below it: an embossed look.
void CWPageSelectorView::_drawIcon(QPainter &painter, const CWPDFAtlasTileImage &tile) const
{
    const QSizeF tileSize = tile.pdfAtlas()->tileSize();
    const QImage mask = tile.cgImage(painter.device()->devicePixelRatioF());
    if (mask.isNull())
        return;
    CWPainterStateGuard guard(painter);
    // Centred in the row-high square at the row's left end.
    const qreal half = std::floor(_rowHeight * 0.5);
    painter.translate(half - std::floor(tileSize.width() * 0.5), half - std::floor(tileSize.height() * 0.5));
    const QRectF rect(QPointF(0, 0), tileSize);

    CWUtil::drawImage(painter, rect.translated(0, -1), maskedFill(mask, Qt::white));
    QLinearGradient body(0, 0, 0, tileSize.height()); // in the image, y grows downwards: top first
    body.setStops(_btnGrad);
    CWUtil::drawImage(painter, rect, maskedFill(mask, body));
}

void CWPageSelectorView::_drawName(QPainter &painter, const QString &name, qreal width) const
{
    CWPainterStateGuard guard(painter);
    const QFont font = CWUtil::systemFontOfSize(14);
    painter.setFont(font);
    painter.translate(50, 13);
    // The text's line box stands on (50, 13); a light shadow one point below engraves it.
    const QRectF box(0, 0, qMax<qreal>(0, width - 50), QFontMetricsF(font).height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.4f));
    CWUtil::drawText(painter, box.translated(0, -1), flags, name);
    painter.setPen(Qt::black);
    CWUtil::drawText(painter, box, flags, name);
}

void CWPageSelectorView::mousePressEvent(QMouseEvent *event)
{
    const qint64 row = rowForPoint(event->position());
    if (row >= 0)
        setSelectedIndex(row);
    else
        QApplication::beep();
}

void CWPageSelectorView::keyPressEvent(QKeyEvent *event)
{
    // Arrows move one row and never wrap, nor start from an empty selection.
    const qint64 rows = _rowSpecs.size();
    if (event->key() == Qt::Key_Down && _selectedIndex >= 0 && _selectedIndex < rows - 1)
        setSelectedIndex(_selectedIndex + 1);
    else if (event->key() == Qt::Key_Up && _selectedIndex > 0)
        setSelectedIndex(_selectedIndex - 1);
    else
        QWidget::keyPressEvent(event);
}
