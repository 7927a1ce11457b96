#include "CWBattInfoVC.h"

#include "ui_CWBattInfoVC.h"

#include "CWBatteryMonitor.h"

#include <QFontDatabase>

CWBattInfoVC::CWBattInfoVC(const QString &nibName, QObject *parent)
    : CWHolderVC(nibName, parent)
    , _ui(std::make_unique<Ui::CWBattInfoVC>())
{
}

CWBattInfoVC::~CWBattInfoVC() = default;

QPlainTextEdit *CWBattInfoVC::textView() const
{
    return _ui->textView;
}

QLabel *CWBattInfoVC::timestamp() const
{
    return _ui->timestamp;
}

void CWBattInfoVC::setupView(QWidget *view)
{
    _ui->setupUi(view);
    // The summary is property-list text laid out in columns of indentation.
    _ui->textView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(_ui->refreshButton, &QPushButton::clicked, this, &CWBattInfoVC::update);
}

void CWBattInfoVC::activate()
{
    _updateFields();
}

void CWBattInfoVC::update()
{
    _updateFields();
}

void CWBattInfoVC::_updateFields()
{
    const CWBatteryMonitor *monitor = CWBatteryMonitor::sharedMonitor();
    _ui->textView->setPlainText(monitor->summary());
    const QString taken = monitor->lastUpdated().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    _ui->timestamp->setText(QStringLiteral("Sample Taken: %1").arg(taken));
}
