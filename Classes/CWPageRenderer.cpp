#include "CWPageRenderer.h"

#include "CWHolderVC.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QWidget>

namespace {

// PDF pages are measured in points, one per logical pixel; drawing at twice that resolution keeps
// the pages' images sharp when the document is zoomed.
constexpr int kPdfDotsPerPoint = 2;
// A page that loads its rows in steps gets this long to finish before the picture is taken.
constexpr qint64 kSettleMilliseconds = 5000;

bool isPdf(const QString &path)
{
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

bool writePdf(QWidget &view, const QSize &size, QSaveFile &file)
{
    QPdfWriter writer(&file);
    writer.setResolution(72 * kPdfDotsPerPoint);
    writer.setPageSize(QPageSize(QSizeF(size), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setCreator(QCoreApplication::applicationName());
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.scale(kPdfDotsPerPoint, kPdfDotsPerPoint);
    view.render(&painter, QPoint(), QRegion(QRect(QPoint(), size)));
    return painter.end();
}

bool writePng(QWidget &view, const QSize &size, QSaveFile &file, qreal devicePixelRatio)
{
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false;
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(QRect(QPoint(), size)));
    return image.save(&file, "PNG");
}

// Runs the work the page queued for the next turns of the event loop (rows read in steps).
void letSettle()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    QElapsedTimer clock;
    clock.start();
    while (dispatcher && dispatcher->processEvents(QEventLoop::AllEvents) && clock.elapsed() < kSettleMilliseconds) {
    }
}

} // namespace

bool CWPageRenderer::isSupportedPath(const QString &path)
{
    return isPdf(path) || path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

// The file is opened before the page is drawn, so a picture that cannot be saved costs no work.
bool CWPageRenderer::_open(QSaveFile &file, QString *error)
{
    if (!isSupportedPath(file.fileName())) {
        *error = QStringLiteral("%1: the picture's name must end in .png or .pdf").arg(file.fileName());
        return false;
    }
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool CWPageRenderer::_finish(QWidget &view, const QSize &size, QSaveFile &file, qreal devicePixelRatio, QString *error)
{
    const bool drawn =
        isPdf(file.fileName()) ? writePdf(view, size, file) : writePng(view, size, file, devicePixelRatio);
    if (!drawn || !file.commit()) {
        *error = QStringLiteral("Cannot write %1: %2")
                     .arg(file.fileName(), drawn ? file.errorString() : QStringLiteral("drawing failed"));
        return false;
    }
    return true;
}

bool CWPageRenderer::write(QWidget &view, const QString &path, qreal devicePixelRatio, QString *error)
{
    QSaveFile file(path);
    return _open(file, error) && _finish(view, view.size(), file, devicePixelRatio, error);
}

bool CWPageRenderer::writePage(CWHolderVC &page, const QSize &size, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!_open(file, error))
        return false;
    QWidget *view = page.view();
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(size); // no smaller than the page allows: a smaller picture shows its top left
    view->show();       // lays the page's widgets out
    page.activate();
    letSettle();
    const bool written = _finish(*view, size, file, 1.0, error);
    page.deactivate();
    view->hide();
    return written;
}
