#include "CWRenderCommand.h"

#include "CWBatteryMonitor.h"
#include "CWDisplayController.h"
#include "CWGraphRange.h"
#include "CWGraphVC.h"
#include "CWHolderVC.h"
#include "CWLog.h"
#include "CWPageRenderer.h"
#include "Console.h"

#include <QRegularExpression>

namespace {

// Large enough for any screen, small enough to stay within memory for one image.
constexpr int kMaxSide = 10000;

} // namespace

const QStringList &CWRenderCommand::pageNames()
{
    static const QStringList names = {QStringLiteral("monitor"), QStringLiteral("graph"), QStringLiteral("comparisons"),
                                      QStringLiteral("battery-data"), QStringLiteral("event-log")};
    return names;
}

std::optional<CWRenderCommand::Request> CWRenderCommand::parse(const QString &page, const QString &output,
                                                               const QString &size, const QString &range,
                                                               QString *error)
{
    Request request;
    request.page = pageNames().indexOf(page);
    if (request.page < 0) {
        *error =
            QStringLiteral("Unknown page \"%1\": use one of %2.").arg(page, pageNames().join(QStringLiteral(", ")));
        return std::nullopt;
    }
    if (!CWPageRenderer::isSupportedPath(output)) {
        *error = output.isEmpty() ? QStringLiteral("--render needs --output FILE (a .png or .pdf file).")
                                  : QStringLiteral("%1: the picture's name must end in .png or .pdf.").arg(output);
        return std::nullopt;
    }
    request.output = output;
    if (!size.isEmpty()) {
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch match = pattern.match(size);
        const int width = match.captured(1).toInt(), height = match.captured(2).toInt();
        if (!match.hasMatch() || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
            *error =
                QStringLiteral("Bad size \"%1\": give WIDTHxHEIGHT in pixels, each 1 to %2.").arg(size).arg(kMaxSide);
            return std::nullopt;
        }
        request.size = QSize(width, height);
    }
    if (!range.isEmpty()) {
        if (request.page != CWDisplayController::Graph) {
            *error = QStringLiteral("--range is for the graph page only.");
            return std::nullopt;
        }
        if (!CWGraphRange::fromText(range, QTimeZone::systemTimeZone())) {
            *error = QStringLiteral("Bad range \"%1\": give 1h, 1d, 30d, 1y (any number of m, h, d or y) or "
                                    "FROM..TO with dates as YYYY-MM-DD.")
                         .arg(range);
            return std::nullopt;
        }
        request.range = range;
    }
    return request;
}

int CWRenderCommand::run(const Request &request)
{
    CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    monitor->readOnce();
    const std::unique_ptr<CWLog> log = CWLog::openSharedLogReadOnly();
    // No statistics server is asked: the Comparisons page shows this battery alone.
    CWDisplayController displayController(
        *monitor, [&log] { return log.get(); }, [] { return QVariantList(); });
    CWHolderVC *page = displayController.controllerForPage(request.page);
    if (!request.range.isEmpty())
        displayController.graphVC()->setRange(request.range);
    QString error;
    if (!CWPageRenderer::writePage(*page, request.size, request.output, &error)) {
        Console::line(error);
        return kUsageError;
    }
    return 0;
}
