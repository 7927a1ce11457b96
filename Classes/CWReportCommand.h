#pragma once

#include <QString>
#include <optional>

// `cellwise --report FILE.html [--days N]`: the battery report, read without writing anything to
// the log, so it runs beside a running Cellwise and without a display. FILE "-" is standard output.
// The window's "Battery Report…" writes it to a temporary file and opens that in the browser.
class CWReportCommand {
public:
    CWReportCommand() = delete;

    static constexpr int kUsageError = 2;
    static constexpr int kFailure = 1;

    struct Request {
        QString output;
        int days = 0; // of capacity history; 0: the whole log
    };
    // Checks the option values; a mistake gives nullopt and a one-line message in `error`.
    static std::optional<Request> parse(const QString &output, const QString &days, QString *error);
    // Writes the report; returns the process's exit status.
    static int run(const Request &request);
    // Writes the whole log's report to a new temporary file and opens it in the default browser;
    // false after a console line saying why not.
    static bool openInBrowser();

private:
    // The report of the application's log; nullopt after a console line.
    static std::optional<QByteArray> _report(int days);
};
