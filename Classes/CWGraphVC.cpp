#include "CWGraphVC.h"

#include "ui_CWGraphVC.h"

CWGraphVC::CWGraphVC(const QString &nibName, QObject *parent)
    : CWHolderVC(nibName, parent)
    , _ui(std::make_unique<Ui::CWGraphVC>())
{
}

CWGraphVC::~CWGraphVC() = default;

void CWGraphVC::setupView(QWidget *view)
{
    _ui->setupUi(view);
}

void CWGraphVC::activate()
{
}

void CWGraphVC::deactivate()
{
}
