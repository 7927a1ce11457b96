#pragma once

#include <QSizeF>
#include <memory>

class CWPDFAtlasTileImage;
class QPainter;
class QPdfDocument;

// One page of a vector PDF seen as a sheet of equally sized tiles, addressed by column and row;
// column 0 is at the page's left edge and row 0 at its bottom edge (PDF coordinates grow upwards).
class CWPDFAtlas {
public:
    // Drawing styles of drawTileAtX(); the three draw the page alike, any other value draws nothing.
    enum Style { Normal = 0, GradientGrey = 1, GradientLit = 2 };

    // The page `pageNo` (1-based) of `document` becomes the sheet; with no document, or a page
    // number outside it, there is no page and every tile draws nothing.
    void setDocument(std::shared_ptr<QPdfDocument> document, unsigned pageNo);
    bool hasPage() const { return _pdfPage >= 0; }

    // Size of one tile in PDF page units (points).
    QSizeF tileSize() const { return _tileSize; }
    void setTileSize(const QSizeF &tileSize) { _tileSize = tileSize; }

    // A tile object for one cell; no bounds check is made against the page. The tile refers to this
    // atlas without keeping it alive.
    std::shared_ptr<CWPDFAtlasTileImage> tileAtX(unsigned x, unsigned y) const;

    // Draws the cell (x, y) so that its lower-left corner lands on the painter's origin, in the
    // painter's y-up coordinates, rendered sharp for the painter's scale and device pixel ratio.
    void drawTileAtX(unsigned x, unsigned y, int style, QPainter &painter) const;

private:
    void _drawPage(unsigned x, unsigned y, QPainter &painter) const;

    std::shared_ptr<QPdfDocument> _pdfDoc;
    int _pdfPage = -1; // the document's 0-based page index, -1 for none
    QSizeF _tileSize;
};
