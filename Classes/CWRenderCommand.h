#pragma once

#include <QSize>
#include <QString>
#include <optional>

// `cellwise --render PAGE --output FILE [--size WxH] [--range RANGE]`: a picture of one page from one battery
// reading and the log as it stands, taken off screen. It writes nothing but the picture, so it
// can run beside a running Cellwise.
class CWRenderCommand {
public:
    CWRenderCommand() = delete;

    // Exit status for a request that cannot be carried out.
    static constexpr int kUsageError = 2;

    struct Request {
        qint64 page = 0; // page index
        QString output;
        QSize size{1000, 640};
        QString range; // the graph's range as CWGraphRange reads it; empty: the page's own default
    };
    // The page names in page-index order: "monitor", "graph", "comparisons", "battery-data",
    // "event-log".
    static const QStringList &pageNames();
    // Checks the option values; a mistake gives nullopt and a one-line message in `error`. An empty
    // size text means the default size; a range is for the graph page only.
    static std::optional<Request> parse(const QString &page, const QString &output, const QString &size,
                                        const QString &range, QString *error);
    // Takes the picture; returns the process's exit status.
    static int run(const Request &request);
};
