#include "CWPDFAtlas.h"

#include "CWPDFAtlasTileImage.h"
#include "CWUtil.h"

#include <QPainter>
#include <QPdfDocument>
#include <cmath>

void CWPDFAtlas::setDocument(std::shared_ptr<QPdfDocument> document, unsigned pageNo)
{
    _pdfDoc = std::move(document);
    const bool pageExists = _pdfDoc && pageNo >= 1 && pageNo <= unsigned(_pdfDoc->pageCount());
    _pdfPage = pageExists ? int(pageNo) - 1 : -1;
}

std::shared_ptr<CWPDFAtlasTileImage> CWPDFAtlas::tileAtX(unsigned x, unsigned y) const
{
    return std::make_shared<CWPDFAtlasTileImage>(this, x, y);
}

void CWPDFAtlas::drawTileAtX(unsigned x, unsigned y, int style, QPainter &painter) const
{
    switch (style) {
    case Normal:
    case GradientGrey:
    case GradientLit:
        _drawPage(x, y, painter);
        break;
    default:
        break;
    }
}

// The page is rendered at as many pixels per point as the painter maps a point to, so the tile is
// as sharp as a vector drawing would be. The whole page is rendered and the cell cut out of it: with
// Qt 6.4, rendering only a region (QPdfDocumentRenderOptions::setScaledClipRect) shifts the drawing
// by a few pixels and leaves stray ink at the region's edge.
void CWPDFAtlas::_drawPage(unsigned x, unsigned y, QPainter &painter) const
{
    if (!hasPage() || _tileSize.isEmpty())
        return;
    const QTransform device = painter.deviceTransform();
    const qreal scale = qMax(std::hypot(device.m11(), device.m12()), std::hypot(device.m21(), device.m22()));
    const QSize pixels(qCeil(_tileSize.width() * scale), qCeil(_tileSize.height() * scale));
    if (pixels.isEmpty())
        return;

    const QSizeF page = _pdfDoc->pagePointSize(_pdfPage);
    const QImage sheet = _pdfDoc->render(_pdfPage, (page * scale).toSize());
    const qreal cellTop = page.height() - (y + 1) * _tileSize.height(); // the image's y grows downwards
    const QPoint corner(qRound(x * _tileSize.width() * scale), qRound(cellTop * scale));
    CWUtil::drawImage(painter, QRectF(QPointF(0, 0), _tileSize), sheet.copy(QRect(corner, pixels)));
}
