#include "CWDashboardVC.h"

#include "ui_CWDashboardVC.h"

CWDashboardVC::CWDashboardVC(const QString &nibName, QObject *parent)
    : CWFormVC(nibName, parent)
{
}

CWDashboardVC::~CWDashboardVC() = default;

void CWDashboardVC::activate()
{
}

void CWDashboardVC::deactivate()
{
}
