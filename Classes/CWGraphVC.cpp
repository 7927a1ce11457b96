#include "CWGraphVC.h"

#include "ui_CWGraphVC.h"

CWGraphVC::CWGraphVC(const QString &nibName, QObject *parent)
    : CWFormVC(nibName, parent)
{
}

CWGraphVC::~CWGraphVC() = default;

void CWGraphVC::activate()
{
}

void CWGraphVC::deactivate()
{
}
