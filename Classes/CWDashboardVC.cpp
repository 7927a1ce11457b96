#include "CWDashboardVC.h"

#include "CWDashboardView.h"
#include "ui_CWDashboardVC.h"

CWDashboardVC::CWDashboardVC(const QString &nibName, const CWBatteryMonitor &monitor, QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
{
}

CWDashboardVC::~CWDashboardVC() = default;

void CWDashboardVC::awakeFromNib()
{
    dashboardView()->setMonitor(&_monitor);
}

CWDashboardView *CWDashboardVC::dashboardView() const
{
    return _ui->dashboardView;
}

void CWDashboardVC::activate()
{
    CWDashboardView *view = dashboardView();
    view->setupObservations();
    view->startAnimating();
    view->updateFromBatt();
}

void CWDashboardVC::deactivate()
{
    CWDashboardView *view = dashboardView();
    view->stopAnimating();
    view->tearDownObservations();
}
