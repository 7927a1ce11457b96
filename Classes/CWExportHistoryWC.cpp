#include "CWExportHistoryWC.h"

#include "AlertPanel.h"
#include "CWLog.h"
#include "ui_CWExportHistoryWC.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

namespace {
// The progress bar's resolution.
constexpr int kProgressSteps = 1000;

void tellFailure(const QString &message)
{
    AlertPanel::run(
        {QObject::tr("The history could not be exported."), message, QObject::tr("OK"), QString(), QString()});
}
} // namespace

CWExportHistoryWC::CWExportHistoryWC(QObject *parent)
    : QObject(parent)
    , _ui(std::make_unique<Ui::CWExportHistoryWC>())
    , _stepTimer(new QTimer(this))
{
    connect(_stepTimer, &QTimer::timeout, this, &CWExportHistoryWC::_step);
}

CWExportHistoryWC::~CWExportHistoryWC()
{
    delete _window;
}

QDialog *CWExportHistoryWC::window(QWidget *parent)
{
    if (!_window) {
        _window = new QDialog(parent);
        _ui->setupUi(_window);
        _ui->buttons->button(QDialogButtonBox::Ok)->setText(tr("Export…"));
        const QDate today = QDate::currentDate();
        _ui->fromDate->setDate(today.addMonths(-1));
        _ui->toDate->setDate(today);
        connect(_window, &QDialog::accepted, this, &CWExportHistoryWC::_chooseFile);
    }
    return _window;
}

void CWExportHistoryWC::showWindow(QWidget *parent)
{
    QDialog *shown = window(parent);
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void CWExportHistoryWC::_chooseFile()
{
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(_ui->eventsButton->isChecked() ? tr("Cellwise events.csv") : tr("Cellwise history.csv"));
    const QString path =
        QFileDialog::getSaveFileName(_window->parentWidget(), tr("Export History"), suggested, tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        exportTo(path);
}

bool CWExportHistoryWC::exportTo(const QString &path)
{
    if (isExporting())
        return false;
    window();
    _log = CWLog::openSharedLogReadOnly();
    if (!_log) {
        tellFailure(tr("There is no battery history yet."));
        return false;
    }
    // The file appears only when complete; a cancelled export leaves an earlier one as it was.
    _file = std::make_unique<QSaveFile>(path);
    if (!_file->open(QIODevice::WriteOnly)) {
        tellFailure(tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), _file->errorString()));
        _log.reset();
        return false;
    }
    const auto day = [](QCheckBox *check, QDateEdit *edit) { return check->isChecked() ? edit->date() : QDate(); };
    _exporter = std::make_unique<CWHistoryExport>(*_log, *_file,
                                                  _ui->eventsButton->isChecked() ? CWHistoryExport::Table::Events
                                                                                 : CWHistoryExport::Table::Samples,
                                                  day(_ui->fromCheck, _ui->fromDate), day(_ui->toCheck, _ui->toDate));

    // Shown only when the export takes longer than a moment.
    _progress = new QProgressDialog(tr("Exporting the battery history…"), tr("Cancel"), 0, kProgressSteps,
                                    _window->parentWidget());
    _progress->setWindowTitle(tr("Export History"));
    _progress->setWindowModality(Qt::WindowModal);
    _progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(_progress, &QProgressDialog::canceled, this, [this] { _finish(CWHistoryExport::Step::Failed); });
    _stepTimer->start(0);
    return true;
}

void CWExportHistoryWC::_step()
{
    const CWHistoryExport::Step step = _exporter->writeStep();
    if (_progress) {
        _progress->setValue(int(_exporter->progress() * kProgressSteps));
        _progress->setLabelText(tr("Exporting the battery history… %L1 rows").arg(_exporter->rowsWritten()));
    }
    if (step != CWHistoryExport::Step::More)
        _finish(step);
}

void CWExportHistoryWC::_finish(CWHistoryExport::Step step)
{
    _stepTimer->stop();
    const bool cancelled = step == CWHistoryExport::Step::Failed && _exporter->error().isEmpty();
    const QString writeError = _exporter->error();
    bool written = false;
    if (step == CWHistoryExport::Step::Done)
        written = _file->commit();
    else
        _file->cancelWriting();
    const QString commitError = written || step != CWHistoryExport::Step::Done ? QString() : _file->errorString();
    _exporter.reset();
    _file.reset();
    _log.reset();
    if (_progress) {
        _progress->disconnect(this);
        _progress->close();
    }
    if (!written && !cancelled)
        tellFailure(writeError.isEmpty() ? commitError : writeError);
    Q_EMIT exportFinished(written);
}
