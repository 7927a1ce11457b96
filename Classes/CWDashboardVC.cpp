#include "CWDashboardVC.h"

#include "CWBatteryMonitor.h"
#include "CWDashboardView.h"
#include "ui_CWDashboardVC.h"

CWDashboardVC::CWDashboardVC(const QString &nibName, QObject *parent)
    : CWHolderVC(nibName, parent)
    , _ui(std::make_unique<Ui::CWDashboardVC>())
{
}

CWDashboardVC::~CWDashboardVC() = default;

void CWDashboardVC::setupView(QWidget *view)
{
    _ui->setupUi(view);
    _ui->dashboardView->setMonitor(CWBatteryMonitor::sharedMonitor());
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
