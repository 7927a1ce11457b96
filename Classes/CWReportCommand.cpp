#include "CWReportCommand.h"

#include "BatteryRegistry.h"
#include "CWBatteryReportData.h"
#include "CWBatteryReportWriter.h"
#include "CWLog.h"
#include "Console.h"
#include "UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QUrl>

std::optional<CWReportCommand::Request> CWReportCommand::parse(const QString &output, const QString &days,
                                                               QString *error)
{
    if (output.isEmpty()) {
        *error = QStringLiteral("--report needs a file name, or - for standard output.");
        return std::nullopt;
    }
    Request request{output, 0};
    if (!days.isEmpty()) {
        bool ok = false;
        request.days = days.toInt(&ok);
        if (!ok || request.days < 1) {
            *error = QStringLiteral("Bad number of days \"%1\" for --days: give a whole number from 1.").arg(days);
            return std::nullopt;
        }
    }
    return request;
}

std::optional<QByteArray> CWReportCommand::_report(int days)
{
    QString logFile;
    if (const std::unique_ptr<CWLog> log = CWLog::openSharedLogReadOnly())
        logFile = log->logFile();
    if (logFile.isEmpty()) {
        Console::line(QStringLiteral("There is no battery history to report on yet."));
        return std::nullopt;
    }
    QString error;
    const std::optional<CWBatteryReportData> data = CWBatteryReportData::read(logFile, days, &error);
    if (!data) {
        Console::line(error);
        return std::nullopt;
    }
    return CWBatteryReportWriter::html(*data, BatteryRegistry::current().modelCode());
}

int CWReportCommand::run(const Request &request)
{
    const std::optional<QByteArray> html = _report(request.days);
    if (!html)
        return kFailure;
    if (request.output == QLatin1String("-")) {
        QFile standardOutput;
        if (standardOutput.open(stdout, QIODevice::WriteOnly) && standardOutput.write(*html) == html->size())
            return 0;
        Console::line(QStringLiteral("Cannot write the report: %1").arg(standardOutput.errorString()));
        return kFailure;
    }
    // The file appears only when complete: a failed report leaves an earlier one as it was.
    QSaveFile file(request.output);
    if (!file.open(QIODevice::WriteOnly) || file.write(*html) != html->size() || !file.commit()) {
        Console::line(QStringLiteral("Cannot write %1: %2").arg(request.output, file.errorString()));
        return kFailure;
    }
    return 0;
}

bool CWReportCommand::openInBrowser()
{
    const std::optional<QByteArray> html = _report(0);
    if (!html)
        return false;
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/cellwise-battery-report-XXXXXX.html"));
    file.setAutoRemove(false); // the browser reads it after we are done
    if (!file.open() || file.write(*html) != html->size() || !file.flush()) {
        Console::line(QStringLiteral("Cannot write the battery report: %1").arg(file.errorString()));
        return false;
    }
    return UrlOpener::open(QUrl::fromLocalFile(file.fileName()));
}
