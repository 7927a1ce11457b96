#pragma once

#include <QByteArray>
#include <QString>

class CWBatteryReportData;

// The battery report as one self-contained HTML5 page: inline CSS, inline SVG charts, no script and
// no reference to anything outside the file, so it can be mailed, printed or attached as it is.
// It is well-formed XML too, which keeps it easy to check. Missing values show as "—".
class CWBatteryReportWriter {
public:
    CWBatteryReportWriter() = delete;

    // computerModel: the model of the machine the report is written on; empty when unknown.
    static QByteArray html(const CWBatteryReportData &data, const QString &computerModel);
};
