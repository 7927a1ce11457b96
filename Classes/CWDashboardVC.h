#pragma once

#include "CWHolderVC.h"

class CWBatteryMonitor;
class CWDashboardView;
namespace Ui {
class CWDashboardVC;
}

// The "Monitor" page: runs its dashboard while the page is on screen.
class CWDashboardVC : public CWFormVC<Ui::CWDashboardVC> {
    Q_OBJECT
public:
    CWDashboardVC(const QString &nibName, const CWBatteryMonitor &monitor, QObject *parent = nullptr);
    ~CWDashboardVC() override;

    CWDashboardView *dashboardView() const;

    void activate() override;
    void deactivate() override;

protected:
    void awakeFromNib() override;

private:
    const CWBatteryMonitor &_monitor;
};
