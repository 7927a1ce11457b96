#pragma once

#include <QImage>
#include <QMetaType>
#include <memory>

class CWPDFAtlas;
class QPainter;

// One cell of a CWPDFAtlas. It can draw itself into any painter or render itself once into a
// cached bitmap. It does not keep its atlas alive: the atlas's owner outlives the tiles it hands out.
class CWPDFAtlasTileImage {
public:
    CWPDFAtlasTileImage(const CWPDFAtlas *pdfAtlas, unsigned tileX, unsigned tileY);

    const CWPDFAtlas *pdfAtlas() const { return _pdfAtlas; }
    unsigned tileX() const { return _tileX; }
    unsigned tileY() const { return _tileY; }

    // Draws the cell with the atlas's gradient-grey style at the painter's origin (y-up).
    void drawInContext(QPainter &painter) const;

    // The tile rendered into a premultiplied ARGB bitmap of tile-size x `devicePixelRatio` pixels,
    // tagged with that ratio; rendered on first use and again only for another ratio. Transparent
    // where the page has no ink, and fully transparent when the atlas has no page.
    QImage cgImage(qreal devicePixelRatio = 1.0) const;

private:
    const CWPDFAtlas *_pdfAtlas;
    unsigned _tileX;
    unsigned _tileY;
    mutable QImage _cgImage;
};

Q_DECLARE_METATYPE(std::shared_ptr<CWPDFAtlasTileImage>)
