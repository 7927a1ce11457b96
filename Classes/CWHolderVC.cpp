#include "CWHolderVC.h"

#include "Console.h"

CWHolderVC::CWHolderVC(const QString &nibName, ViewSetup setupView, QObject *parent)
    : QObject(parent)
    , _nibName(nibName)
    , _setupView(std::move(setupView))
{
}

CWHolderVC::~CWHolderVC()
{
    delete _view;
}

QWidget *CWHolderVC::view()
{
    if (!_view) {
        _view = new QWidget;
        _view->setObjectName(_nibName);
        _setupView(_view);
        awakeFromNib();
    }
    return _view;
}

void CWHolderVC::activate()
{
    Console::line(QStringLiteral("Empty superclass invocation of activate"));
}

void CWHolderVC::deactivate()
{
    Console::line(QStringLiteral("Empty superclass invocation of deactivate"));
}
