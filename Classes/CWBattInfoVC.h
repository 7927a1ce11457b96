#pragma once

#include "CWHolderVC.h"

#include <memory>

class QLabel;
namespace Ui {
class CWBattInfoVC;
}
class QPlainTextEdit;

// The "Battery Data" page: the monitor's text summary of the latest snapshot and when it was
// taken. A snapshot, not a live view: it refreshes when shown and on request.
class CWBattInfoVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWBattInfoVC(const QString &nibName, QObject *parent = nullptr);
    ~CWBattInfoVC() override;

    QPlainTextEdit *textView() const;
    QLabel *timestamp() const;

    void activate() override;
    void deactivate() override {}

public Q_SLOTS:
    void update();

protected:
    void setupView(QWidget *view) override;

private:
    void _updateFields();

    std::unique_ptr<Ui::CWBattInfoVC> _ui;
};
