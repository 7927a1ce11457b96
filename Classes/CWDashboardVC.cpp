#include "CWDashboardVC.h"

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
}

void CWDashboardVC::activate()
{
}

void CWDashboardVC::deactivate()
{
}
