#include "CWBatteryReportWriter.h"

#include "CWBatteryReadout.h"
#include "CWBatteryReportData.h"

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

const QString kMissing = QStringLiteral("—");

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString dateText(std::optional<qint64> time)
{
    return time ? QDateTime::fromSecsSinceEpoch(*time).toString(QStringLiteral("yyyy-MM-dd")) : kMissing;
}

QString dateTimeText(qint64 time)
{
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString durationText(double seconds)
{
    const qint64 minutes = qint64(std::llround(seconds / 60));
    return QString::asprintf("%lld h %02lld m", minutes / 60, minutes % 60);
}

QString number(std::optional<double> value, const char *format)
{
    return value ? QString::asprintf(format, *value) : kMissing;
}

std::optional<double> columnNumber(const QVariantMap &sample, const char *column)
{
    const QVariant value = sample.value(QLatin1String(column));
    bool ok = false;
    const double result = value.toDouble(&ok);
    return !value.isNull() && ok ? std::optional<double>(result) : std::nullopt;
}

QString columnText(const QVariantMap &sample, const char *column)
{
    const QString text = sample.value(QLatin1String(column)).toString();
    return text.isEmpty() ? kMissing : escaped(text);
}

QString row(const QString &header, const QString &value)
{
    return QStringLiteral("<tr><th scope=\"row\">%1</th><td>%2</td></tr>\n").arg(header, value);
}

QString cells(const QStringList &values, const char *tag = "td")
{
    QString text = QStringLiteral("<tr>");
    for (const QString &value : values)
        text += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), value);
    return text + QStringLiteral("</tr>\n");
}

// A round step that divides range into about `parts` parts.
double niceStep(double range, int parts)
{
    const double raw = std::max(range, 1e-9) / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10 * power;
}

// The chart's drawing area in SVG user units; the SVG scales to the page's width.
struct Frame {
    static constexpr double kWidth = 800;
    static constexpr double kLeft = 64;
    static constexpr double kRight = 736;
    static constexpr double kTop = 16;
    double height;
    double bottom() const { return height - 40; }
};

QString svgOpen(const QString &id, double height, const QString &title, const QString &description)
{
    return QStringLiteral("<svg viewBox=\"0 0 %1 %2\" role=\"img\" aria-labelledby=\"%3-title %3-desc\">\n"
                          "<title id=\"%3-title\">%4</title>\n<desc id=\"%3-desc\">%5</desc>\n")
        .arg(Frame::kWidth)
        .arg(height)
        .arg(id, escaped(title), escaped(description));
}

QString text(double x, double y, const QString &anchor, const QString &content)
{
    return QString::asprintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"", x, y) + anchor + QStringLiteral("\">")
           + escaped(content) + QStringLiteral("</text>\n");
}

QString horizontalLine(double y, const QString &cssClass)
{
    return QString::asprintf("<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.1f\" y2=\"%.1f\" class=\"", Frame::kLeft,
                             Frame::kRight, y, y)
           + cssClass + QStringLiteral("\"/>\n");
}

QString capacityChart(const std::vector<CWBatteryReportData::CapacityDay> &days)
{
    std::vector<double> capacities;
    double lastCycles = 0;
    double firstCycles = -1;
    for (const auto &day : days) {
        if (day.fullCapacity)
            capacities.push_back(double(*day.fullCapacity));
        if (day.designCapacity) {
            capacities.push_back(double(*day.designCapacity));
            capacities.push_back(0.8 * double(*day.designCapacity));
        }
        if (day.cycleCount) {
            lastCycles = std::max(lastCycles, double(*day.cycleCount));
            if (firstCycles < 0)
                firstCycles = double(*day.cycleCount);
        }
    }
    if (capacities.empty())
        return QStringLiteral("<p>No capacity was logged.</p>\n");
    const Frame frame{320};
    const double step = niceStep(*std::max_element(capacities.begin(), capacities.end())
                                     - *std::min_element(capacities.begin(), capacities.end()),
                                 5);
    const double low = std::floor(*std::min_element(capacities.begin(), capacities.end()) / step) * step;
    const double high = std::ceil(*std::max_element(capacities.begin(), capacities.end()) / step) * step + step / 2;
    const double first = double(days.front().time) - 43200;
    const double last = double(days.back().time) + 43200;
    const auto x = [&](double time) {
        return Frame::kLeft + (time - first) / (last - first) * (Frame::kRight - Frame::kLeft);
    };
    const auto y = [&](double value, double bottom, double top) {
        return frame.bottom() - (value - bottom) / (top - bottom) * (frame.bottom() - Frame::kTop);
    };
    const double cycleStep = niceStep(std::max(lastCycles - std::max(firstCycles, 0.0), 1.0), 4);
    const double cycleLow = std::floor(std::max(firstCycles, 0.0) / cycleStep) * cycleStep;
    const double cycleHigh = cycleLow + 5 * cycleStep;

    QString svg = svgOpen(QStringLiteral("capacity"), frame.height, QStringLiteral("Capacity history"),
                          QStringLiteral("Full-charge capacity and design capacity in mAh per day from %1 to %2 "
                                         "(left axis), with the cycle count (right axis).")
                              .arg(dateText(days.front().time), dateText(days.back().time)));
    for (double value = low; value <= high; value += step) {
        svg += horizontalLine(y(value, low, high), QStringLiteral("grid"));
        svg += text(Frame::kLeft - 6, y(value, low, high) + 4, QStringLiteral("end"), QString::number(value, 'f', 0));
    }
    if (firstCycles >= 0) {
        for (double value = cycleLow; value <= cycleHigh; value += cycleStep)
            svg += text(Frame::kRight + 6, y(value, cycleLow, cycleHigh) + 4, QStringLiteral("start"),
                        QString::number(value, 'f', 0));
    }
    for (int i = 0; i <= 5; ++i) {
        const double time = double(days.front().time) + double(days.back().time - days.front().time) * i / 5;
        svg += text(x(time), frame.bottom() + 20,
                    i == 0   ? QStringLiteral("start")
                    : i == 5 ? QStringLiteral("end")
                             : QStringLiteral("middle"),
                    dateText(qint64(time)));
    }
    svg += text(Frame::kLeft - 6, frame.bottom() + 36, QStringLiteral("end"), QStringLiteral("mAh"));
    svg += text(Frame::kRight + 6, frame.bottom() + 36, QStringLiteral("start"), QStringLiteral("cycles"));

    const auto polyline = [&](const QString &cssClass, auto valueOf, double bottom, double top) {
        QStringList points;
        for (const auto &day : days) {
            if (const std::optional<qint64> value = valueOf(day))
                points << QString::asprintf("%.1f,%.1f", x(double(day.time)), y(double(*value), bottom, top));
        }
        return points.isEmpty()
                   ? QString()
                   : QStringLiteral("<polyline class=\"%1\" points=\"%2\"/>\n").arg(cssClass, points.join(u' '));
    };
    if (const std::optional<qint64> design = days.back().designCapacity) {
        svg += horizontalLine(y(0.8 * double(*design), low, high), QStringLiteral("threshold"));
        svg += text(Frame::kRight - 4, y(0.8 * double(*design), low, high) - 6, QStringLiteral("end"),
                    QStringLiteral("80 % of design"));
    }
    svg += polyline(
        QStringLiteral("design"), [](const auto &day) { return day.designCapacity; }, low, high);
    svg += polyline(
        QStringLiteral("cycles"), [](const auto &day) { return day.cycleCount; }, cycleLow, cycleHigh);
    svg += polyline(
        QStringLiteral("full"), [](const auto &day) { return day.fullCapacity; }, low, high);
    svg += QStringLiteral("</svg>\n");
    return svg
           + QStringLiteral("<p class=\"legend\"><span class=\"key full\">━</span> full-charge capacity "
                            "<span class=\"key design\">┅</span> design capacity "
                            "<span class=\"key cycles\">┈</span> cycle count</p>\n");
}

QString usageChart(const std::vector<CWBatteryUsage::Day> &days)
{
    const Frame frame{240};
    const auto y = [&](double hours) { return frame.bottom() - hours / 24 * (frame.bottom() - Frame::kTop); };
    QString svg =
        svgOpen(QStringLiteral("usage"), frame.height, QStringLiteral("Hours per day"),
                QStringLiteral("Hours on battery and on the adapter for each of the last %1 days.").arg(days.size()));
    for (int hours = 0; hours <= 24; hours += 6) {
        svg += horizontalLine(y(hours), QStringLiteral("grid"));
        svg += text(Frame::kLeft - 6, y(hours) + 4, QStringLiteral("end"), QStringLiteral("%1 h").arg(hours));
    }
    const double slot = (Frame::kRight - Frame::kLeft) / double(days.size());
    for (size_t i = 0; i < days.size(); ++i) {
        const double left = Frame::kLeft + slot * double(i) + slot * 0.15;
        const double battery = days[i].amounts.batterySeconds / 3600;
        const double adapter = days[i].amounts.adapterSeconds / 3600;
        svg += QString::asprintf("<rect class=\"battery\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>\n",
                                 left, y(battery), slot * 0.7, frame.bottom() - y(battery));
        svg += QString::asprintf("<rect class=\"adapter\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>\n",
                                 left, y(battery + adapter), slot * 0.7, y(battery) - y(battery + adapter));
        svg += text(left + slot * 0.35, frame.bottom() + 20, QStringLiteral("middle"),
                    days[i].date.toString(QStringLiteral("MM-dd")));
    }
    return svg
           + QStringLiteral("</svg>\n<p class=\"legend\"><span class=\"key battery\">■</span> on battery "
                            "<span class=\"key adapter\">■</span> on the adapter</p>\n");
}

QString batterySection(const CWBatteryReportData &data, const QString &computerModel)
{
    const QVariantMap &sample = data.latest();
    const std::optional<double> full = columnNumber(sample, "MaxCapacity");
    const std::optional<double> design = columnNumber(sample, "DesignCapacity");
    const std::optional<double> health =
        full && design && *design > 0 ? std::optional<double>(*full / *design * 100) : std::nullopt;
    const std::optional<double> cycles = columnNumber(sample, "CycleCount");
    const std::optional<double> designCycles = columnNumber(sample, "DesignCycleCount9C");
    QString cyclesText = number(cycles, "%.0f");
    if (cycles && designCycles && *designCycles > 0)
        cyclesText += QString::asprintf(" of %.0f (%.0f %%)", *designCycles, *cycles / *designCycles * 100);
    const QString healthText =
        health ? QString::asprintf("%.1f %% ", *health) + CWBatteryReadout::healthRating(sample) : kMissing;
    return QStringLiteral("<section>\n<h2>This battery</h2>\n<table>\n")
           + row(QStringLiteral("Model"), columnText(sample, "DeviceName"))
           + row(QStringLiteral("Manufacturer"), columnText(sample, "Manufacturer"))
           + row(QStringLiteral("Serial number"), columnText(sample, "BatterySerialNumber"))
           + row(QStringLiteral("Design capacity"), number(design, "%.0f mAh"))
           + row(QStringLiteral("Full-charge capacity now"), number(full, "%.0f mAh"))
           + row(QStringLiteral("Health (full-charge / design capacity)"), healthText)
           + row(QStringLiteral("Cycle count (of design cycles)"), cyclesText)
           + row(QStringLiteral("First sample"), dateTimeText(data.firstTime()))
           + row(QStringLiteral("Last sample"), dateTimeText(data.lastTime()))
           + row(QStringLiteral("Computer"), computerModel.isEmpty() ? kMissing : escaped(computerModel))
           + QStringLiteral("</table>\n</section>\n");
}

QString crossingRow(const QString &label, const std::optional<CWHealthForecast::Crossing> &crossing, qint64 now)
{
    const auto when = [now](std::optional<qint64> time) {
        if (!time)
            return QStringLiteral("not within %1 years").arg(CWHealthForecast::kHorizonYears);
        return *time <= now ? QStringLiteral("already reached") : dateText(time);
    };
    if (!crossing)
        return cells({label, kMissing, kMissing});
    const QString earliest = when(crossing->earliest);
    const QString latest = when(crossing->latest);
    return cells(
        {label, when(crossing->expected), earliest == latest ? earliest : earliest + QStringLiteral(" to ") + latest});
}

QString forecastSection(const CWBatteryReportData &data)
{
    const CWHealthForecast &forecast = data.forecast();
    QString html =
        QStringLiteral("<section>\n<h2>Health forecast</h2>\n"
                       "<p>A straight line through each day's highest full-charge capacity of the last %1 days, "
                       "fitted by the Theil–Sen method: its slope is the median of the slopes between every pair of "
                       "days, so a few odd days or a jump after the gauge recalibrates hardly move it. The range is "
                       "the 95 % confidence interval of that slope.</p>\n")
            .arg(CWHealthForecast::kWindowDays);
    if (!forecast.enoughHistory())
        return html
               + QStringLiteral("<p class=\"notice\">There is not enough history yet for a forecast: it needs at "
                                "least %1 days of samples and a measurable loss of capacity.</p>\n</section>\n")
                     .arg(CWHealthForecast::kMinimumDays);
    html +=
        QStringLiteral("<table>\n<thead>")
        + cells({QStringLiteral("Full-charge capacity falls to"), QStringLiteral("Expected"), QStringLiteral("Range")},
                "th")
        + QStringLiteral("</thead>\n<tbody>\n")
        + crossingRow(QStringLiteral("80 % of design"), forecast.at80(), data.lastTime())
        + crossingRow(QStringLiteral("60 % of design"), forecast.at60(), data.lastTime())
        + QStringLiteral("</tbody>\n</table>\n");
    const std::optional<double> perCycles = forecast.lossPer100Cycles();
    return html + QStringLiteral("<table>\n")
           + row(QStringLiteral("Days fitted"), QString::number(forecast.daysFitted()))
           + row(QStringLiteral("Loss per year"), number(forecast.lossPerYear(), "%.0f mAh"))
           + row(QStringLiteral("Loss per 100 cycles"), number(perCycles, "%.1f mAh"))
           + QStringLiteral("</table>\n</section>\n");
}

// Average power in W over the amounts' time on battery; nothing for under a minute.
std::optional<double> averageWatts(const CWBatteryUsage::Amounts &amounts)
{
    return amounts.batterySeconds >= 60 && amounts.wattHours > 0
               ? std::optional<double>(amounts.wattHours * 3600 / amounts.batterySeconds)
               : std::nullopt;
}

QString energyText(const CWBatteryUsage::Amounts &amounts)
{
    return amounts.batterySeconds + amounts.adapterSeconds > 0 ? QString::asprintf("%.1f Wh", amounts.wattHours)
                                                               : kMissing;
}

QString usageSection(const CWBatteryReportData &data)
{
    const CWBatteryUsage &usage = data.usage();
    QString html = QStringLiteral("<section>\n<h2>Usage</h2>\n<h3>The last %1 days</h3>\n").arg(CWBatteryUsage::kDays)
                   + usageChart(usage.days()) + QStringLiteral("<table>\n<thead>")
                   + cells({QStringLiteral("Day"), QStringLiteral("On battery"), QStringLiteral("On the adapter"),
                            QStringLiteral("Energy from the battery")},
                           "th")
                   + QStringLiteral("</thead>\n<tbody>\n");
    for (const CWBatteryUsage::Day &day : usage.days()) {
        const CWBatteryUsage::Amounts &amounts = day.amounts;
        const bool logged = amounts.batterySeconds + amounts.adapterSeconds > 0;
        html += cells({day.date.toString(QStringLiteral("yyyy-MM-dd ddd")),
                       logged ? durationText(amounts.batterySeconds) : kMissing,
                       logged ? durationText(amounts.adapterSeconds) : kMissing, energyText(amounts)});
    }
    html += QStringLiteral("</tbody>\n</table>\n<h3>Sessions on battery, the last 3 days</h3>\n");
    if (usage.sessions().empty())
        return html + QStringLiteral("<p>None.</p>\n</section>\n");
    const std::optional<double> full = columnNumber(data.latest(), "MaxCapacity");
    html += QStringLiteral("<table>\n<thead>")
            + cells({QStringLiteral("Unplugged"), QStringLiteral("Length"), QStringLiteral("Charge used"),
                     QStringLiteral("Average power")},
                    "th")
            + QStringLiteral("</thead>\n<tbody>\n");
    for (const CWBatteryUsage::Session &session : usage.sessions()) {
        QString charge = QString::asprintf("%.0f mAh", session.amounts.milliAmpHours);
        if (full && *full > 0)
            charge += QString::asprintf(" (%.0f %%)", session.amounts.milliAmpHours / *full * 100);
        html += cells({dateTimeText(session.start), durationText(session.amounts.batterySeconds), charge,
                       number(averageWatts(session.amounts), "%.1f W")});
    }
    return html + QStringLiteral("</tbody>\n</table>\n</section>\n");
}

QString lifeSection(const CWBatteryReportData &data)
{
    const std::optional<double> full = columnNumber(data.latest(), "MaxCapacity");
    const std::optional<double> design = columnNumber(data.latest(), "DesignCapacity");
    QString html = QStringLiteral("<section>\n<h2>Life estimates</h2>\n<p>The run time a full battery gives at the "
                                  "average discharge current of the period.</p>\n<table>\n<thead>")
                   + cells({QStringLiteral("Period"), QStringLiteral("Average discharge power"),
                            QStringLiteral("At full-charge capacity"), QStringLiteral("At design capacity")},
                           "th")
                   + QStringLiteral("</thead>\n<tbody>\n");
    for (int i = 0; i < 2; ++i) {
        const CWBatteryUsage::Amounts &amounts = data.usage().average(i);
        const std::optional<double> watts = averageWatts(amounts);
        const double milliAmps = watts ? amounts.milliAmpHours * 3600 / amounts.batterySeconds : 0;
        const auto runTime = [&](std::optional<double> capacity) {
            return watts && capacity && milliAmps > 0 ? durationText(*capacity / milliAmps * 3600) : kMissing;
        };
        html += cells({QStringLiteral("Last %1 days").arg(CWBatteryUsage::kAverageDays[i]), number(watts, "%.1f W"),
                       runTime(full), runTime(design)});
    }
    return html + QStringLiteral("</tbody>\n</table>\n</section>\n");
}

const char kStyle[] = R"(
:root { color-scheme: light dark; --text: #1d1f21; --muted: #5f6368; --back: #ffffff; --rule: #d0d4d9;
  --full: #1f6fd1; --design: #8a8f98; --cycles: #c46a00; --battery: #2e9d5b; --adapter: #b9c2cc; }
@media (prefers-color-scheme: dark) {
  :root { --text: #e8eaed; --muted: #a8adb4; --back: #17191c; --rule: #3a3f45;
    --full: #6fa8ff; --design: #9aa0a6; --cycles: #ffb454; --battery: #5cc98a; --adapter: #4d5661; } }
html { font-size: 100%; }
body { font-family: system-ui, sans-serif; font-size: 1rem; line-height: 1.45; color: var(--text);
  background: var(--back); max-width: 60rem; margin: 0 auto; padding: 1.5rem; }
h1 { font-size: 1.75rem; margin: 0 0 0.25rem; }
h2 { font-size: 1.35rem; margin: 2rem 0 0.5rem; border-bottom: 1px solid var(--rule); }
h3 { font-size: 1.1rem; margin: 1.25rem 0 0.5rem; }
p.lead, p.legend { color: var(--muted); }
p.notice { font-weight: 600; }
table { border-collapse: collapse; width: 100%; margin: 0.5rem 0 1rem; font-size: 0.95rem; }
th, td { text-align: left; padding: 0.3rem 0.6rem; border-bottom: 1px solid var(--rule); }
thead th { font-weight: 600; }
tbody th { font-weight: normal; color: var(--muted); width: 40%; }
svg { width: 100%; height: auto; display: block; }
svg text { font-size: 0.8rem; fill: var(--muted); }
.grid { stroke: var(--rule); stroke-width: 1; }
.threshold { stroke: var(--muted); stroke-width: 1; stroke-dasharray: 1 3; }
polyline { fill: none; stroke-width: 2.5; stroke-linejoin: round; }
polyline.full { stroke: var(--full); }
polyline.design { stroke: var(--design); stroke-dasharray: 8 5; }
polyline.cycles { stroke: var(--cycles); stroke-width: 1.5; stroke-dasharray: 2 4; }
rect.battery { fill: var(--battery); }
rect.adapter { fill: var(--adapter); }
.key.full { color: var(--full); } .key.design { color: var(--design); } .key.cycles { color: var(--cycles); }
.key.battery { color: var(--battery); } .key.adapter { color: var(--adapter); }
@media print {
  :root { --text: #000000; --back: #ffffff; }
  body { max-width: none; padding: 0; font-size: 0.9rem; }
  section, svg, table { break-inside: avoid; page-break-inside: avoid; }
  h2 { break-after: avoid; page-break-after: avoid; } }
)";

} // namespace

QByteArray CWBatteryReportWriter::html(const CWBatteryReportData &data, const QString &computerModel)
{
    const QString title = QStringLiteral("Battery report");
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
                       "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n<h1>%1</h1>\n"
                       "<p class=\"lead\">Cellwise's battery history from %3 to %4.</p>\n")
            .arg(title, QLatin1String(kStyle), dateTimeText(data.firstTime()), dateTimeText(data.lastTime()));
    html += batterySection(data, computerModel);
    html += QStringLiteral("<section>\n<h2>Capacity history</h2>\n") + capacityChart(data.history())
            + QStringLiteral("</section>\n");
    html += forecastSection(data);
    html += usageSection(data);
    html += lifeSection(data);
    return (html + QStringLiteral("</body>\n</html>\n")).toUtf8();
}
