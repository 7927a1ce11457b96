#include "CWBattInfoVC.h"

#include "ui_CWBattInfoVC.h"

#include "CWBatteryMonitor.h"

#include <QFontDatabase>

CWBattInfoVC::CWBattInfoVC(const QString &nibName, const CWBatteryMonitor &monitor, QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
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

void CWBattInfoVC::awakeFromNib()
{
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
    _ui->textView->setPlainText(_monitor.summary());
    const QString taken = _monitor.lastUpdated().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    _ui->timestamp->setText(QStringLiteral("Sample Taken: %1").arg(taken));
}
