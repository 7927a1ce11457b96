#pragma once

#include "CWHolderVC.h"

#include <memory>

namespace Ui {
class CWDashboardVC;
}

// The "Monitor" page.
class CWDashboardVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWDashboardVC(const QString &nibName, QObject *parent = nullptr);
    ~CWDashboardVC() override;

    void activate() override;
    void deactivate() override;

protected:
    void setupView(QWidget *view) override;

private:
    std::unique_ptr<Ui::CWDashboardVC> _ui;
};
