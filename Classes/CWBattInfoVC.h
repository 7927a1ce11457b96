#pragma once

#include "CWHolderVC.h"

class CWBatteryMonitor;
class QLabel;
namespace Ui {
class CWBattInfoVC;
}
class QPlainTextEdit;

// The "Battery Data" page: the monitor's text summary of the latest snapshot and when it was
// taken. A snapshot, not a live view: it refreshes when shown and on request.
class CWBattInfoVC : public CWFormVC<Ui::CWBattInfoVC> {
    Q_OBJECT
public:
    CWBattInfoVC(const QString &nibName, const CWBatteryMonitor &monitor, QObject *parent = nullptr);
    ~CWBattInfoVC() override;

    QPlainTextEdit *textView() const;
    QLabel *timestamp() const;

    void activate() override;
    void deactivate() override {}

public Q_SLOTS:
    void update();

protected:
    void awakeFromNib() override;

private:
    void _updateFields();

    const CWBatteryMonitor &_monitor;
};
