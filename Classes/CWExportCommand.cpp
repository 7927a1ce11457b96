#include "CWExportCommand.h"

#include "CWLog.h"
#include "Console.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <memory>

namespace {

std::optional<QDate> dateOption(const QString &text, const char *option, QString *error)
{
    if (text.isEmpty())
        return QDate();
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid() || text.size() != 10) {
        *error = QStringLiteral("Bad date \"%1\" for %2: give YYYY-MM-DD.").arg(text, QLatin1String(option));
        return std::nullopt;
    }
    return date;
}

} // namespace

std::optional<CWExportCommand::Request> CWExportCommand::parse(const QString &output, const QString &from,
                                                               const QString &to, bool events, QString *error)
{
    Request request;
    request.output = output;
    request.table = events ? CWHistoryExport::Table::Events : CWHistoryExport::Table::Samples;
    const std::optional<QDate> fromDate = dateOption(from, "--from", error);
    const std::optional<QDate> toDate = fromDate ? dateOption(to, "--to", error) : std::nullopt;
    if (!toDate)
        return std::nullopt;
    if (fromDate->isValid() && toDate->isValid() && *toDate < *fromDate) {
        *error = QStringLiteral("--to %1 lies before --from %2.").arg(to, from);
        return std::nullopt;
    }
    request.from = *fromDate;
    request.to = *toDate;
    return request;
}

int CWExportCommand::run(const Request &request)
{
    const std::unique_ptr<CWLog> log = CWLog::openSharedLogReadOnly();
    if (!log) {
        Console::line(QStringLiteral("There is no battery history to export yet."));
        return kFailure;
    }
    // A file appears only when complete: a failed export leaves an earlier one as it was.
    std::unique_ptr<QFileDevice> file;
    if (request.output == QLatin1String("-")) {
        auto standardOutput = std::make_unique<QFile>();
        standardOutput->open(stdout, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
        file = std::move(standardOutput);
    } else {
        auto saveFile = std::make_unique<QSaveFile>(request.output);
        if (!saveFile->open(QIODevice::WriteOnly)) {
            Console::line(QStringLiteral("Cannot write %1: %2").arg(request.output, saveFile->errorString()));
            return kFailure;
        }
        file = std::move(saveFile);
    }

    QElapsedTimer timer;
    timer.start();
    CWHistoryExport exporter(*log, *file, request.table, request.from, request.to);
    CWHistoryExport::Step step = CWHistoryExport::Step::More;
    while (step == CWHistoryExport::Step::More)
        step = exporter.writeStep();
    auto *saveFile = dynamic_cast<QSaveFile *>(file.get());
    if (step == CWHistoryExport::Step::Failed || (saveFile && !saveFile->commit())) {
        Console::line(QStringLiteral("Cannot write %1: %2")
                          .arg(request.output, exporter.error().isEmpty() ? file->errorString() : exporter.error()));
        return kFailure;
    }
    const double seconds = std::max<qint64>(timer.elapsed(), 1) / 1000.0;
    Console::line(QString::asprintf("Exported %lld rows in %.1f s (%.0f rows/s).", exporter.rowsWritten(), seconds,
                                    double(exporter.rowsWritten()) / seconds));
    return 0;
}
