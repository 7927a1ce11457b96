#include "CWComparisonsVC.h"

#include "ui_CWComparisonsVC.h"

CWComparisonsVC::CWComparisonsVC(const QString &nibName, QObject *parent)
    : CWHolderVC(nibName, parent)
    , _ui(std::make_unique<Ui::CWComparisonsVC>())
{
}

CWComparisonsVC::~CWComparisonsVC() = default;

void CWComparisonsVC::setupView(QWidget *view)
{
    _ui->setupUi(view);
}

void CWComparisonsVC::activate()
{
}

void CWComparisonsVC::deactivate()
{
}
