#include "CWPDFAtlasTileImage.h"

#include "CWPDFAtlas.h"
#include "CWUtil.h"

#include <QPainter>

CWPDFAtlasTileImage::CWPDFAtlasTileImage(const CWPDFAtlas *pdfAtlas, unsigned tileX, unsigned tileY)
    : _pdfAtlas(pdfAtlas)
    , _tileX(tileX)
    , _tileY(tileY)
{
}

void CWPDFAtlasTileImage::drawInContext(QPainter &painter) const
{
    _pdfAtlas->drawTileAtX(_tileX, _tileY, CWPDFAtlas::GradientGrey, painter);
}

QImage CWPDFAtlasTileImage::cgImage(qreal devicePixelRatio) const
{
    if (!_cgImage.isNull() && _cgImage.devicePixelRatio() == devicePixelRatio)
        return _cgImage;
    const QSizeF tileSize = _pdfAtlas->tileSize();
    // Whole pixels, truncated, as a bitmap of the tile's size in points would be.
    QImage image(int(tileSize.width() * devicePixelRatio), int(tileSize.height() * devicePixelRatio),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    if (!image.isNull()) {
        QPainter painter(&image);
        CWUtil::flipToYUp(painter, tileSize.height());
        drawInContext(painter);
    }
    _cgImage = image;
    return _cgImage;
}
