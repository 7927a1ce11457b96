#pragma once

#include "CWHistoryExport.h"

#include <QObject>
#include <QPointer>
#include <memory>

class CWLog;
class QDialog;
class QProgressDialog;
class QSaveFile;
class QTimer;
class QWidget;
namespace Ui {
class CWExportHistoryWC;
}

// The "Export History…" window: what to export and which days, then the file, then the export in
// steps behind a progress dialog that can cancel it. It reads the log through a read-only
// connection of its own, so logging goes on meanwhile.
class CWExportHistoryWC : public QObject {
    Q_OBJECT
public:
    explicit CWExportHistoryWC(QObject *parent = nullptr);
    ~CWExportHistoryWC() override;

    // Loads the window on first use and brings it to front.
    void showWindow(QWidget *parent);
    QDialog *window(QWidget *parent = nullptr);
    // Exports what the window asks for into path, one step per event-loop turn; false when it could
    // not start (the user has been told why).
    bool exportTo(const QString &path);
    bool isExporting() const { return _exporter != nullptr; }

Q_SIGNALS:
    void exportFinished(bool written);

private:
    void _chooseFile();
    void _step();
    void _finish(CWHistoryExport::Step step);

    std::unique_ptr<Ui::CWExportHistoryWC> _ui;
    QPointer<QDialog> _window;
    std::unique_ptr<CWLog> _log;
    std::unique_ptr<QSaveFile> _file;
    std::unique_ptr<CWHistoryExport> _exporter;
    QPointer<QProgressDialog> _progress;
    QTimer *_stepTimer;
};
