#pragma once

#include "CWHistoryExport.h"

#include <QDate>
#include <QString>
#include <optional>

// `cellwise --export-csv FILE [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--events]`: the log as CSV,
// read without writing anything, so it runs beside a running Cellwise. FILE "-" is standard output.
class CWExportCommand {
public:
    CWExportCommand() = delete;

    static constexpr int kUsageError = 2;
    static constexpr int kFailure = 1;

    struct Request {
        QString output;
        QDate from; // invalid: from the first row
        QDate to;   // invalid: to the last row
        CWHistoryExport::Table table = CWHistoryExport::Table::Samples;
    };
    // Checks the option values; a mistake gives nullopt and a one-line message in `error`.
    static std::optional<Request> parse(const QString &output, const QString &from, const QString &to, bool events,
                                        QString *error);
    // Writes the file; returns the process's exit status.
    static int run(const Request &request);
};
