#pragma once

#include <QSize>
#include <QString>

class CWHolderVC;
class QSaveFile;
class QWidget;

// Pictures of pages, for sharing: a PNG image or a PDF document, chosen by the file's suffix.
class CWPageRenderer {
public:
    CWPageRenderer() = delete;

    // Whether the path ends in ".png" or ".pdf" (either case).
    static bool isSupportedPath(const QString &path);
    // Draws `view` as it is now into the file, at `devicePixelRatio` pixels per point for a PNG.
    // On failure returns false with a one-line reason in `error`; an existing file is then untouched.
    static bool write(QWidget &view, const QString &path, qreal devicePixelRatio, QString *error);
    // Lays the page out off screen at `size`, lets it show its current state and writes it.
    static bool writePage(CWHolderVC &page, const QSize &size, const QString &path, QString *error);

private:
    static bool _open(QSaveFile &file, QString *error);
    static bool _finish(QWidget &view, const QSize &size, QSaveFile &file, qreal devicePixelRatio, QString *error);
};
