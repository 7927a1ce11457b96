#pragma once

#include "CWHolderVC.h"

#include <memory>

class CWDashboardView;
namespace Ui {
class CWDashboardVC;
}

// The "Monitor" page: runs its dashboard while the page is on screen.
class CWDashboardVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWDashboardVC(const QString &nibName, QObject *parent = nullptr);
    ~CWDashboardVC() override;

    CWDashboardView *dashboardView() const;

    void activate() override;
    void deactivate() override;

protected:
    void setupView(QWidget *view) override;

private:
    std::unique_ptr<Ui::CWDashboardVC> _ui;
};
