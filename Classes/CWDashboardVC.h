#pragma once

#include "CWHolderVC.h"

namespace Ui {
class CWDashboardVC;
}

// The "Monitor" page.
class CWDashboardVC : public CWFormVC<Ui::CWDashboardVC> {
    Q_OBJECT
public:
    explicit CWDashboardVC(const QString &nibName, QObject *parent = nullptr);
    ~CWDashboardVC() override;

    void activate() override;
    void deactivate() override;
};
