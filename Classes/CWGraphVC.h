#pragma once

#include "CWHolderVC.h"

namespace Ui {
class CWGraphVC;
}

// The "Graph" page.
class CWGraphVC : public CWFormVC<Ui::CWGraphVC> {
    Q_OBJECT
public:
    explicit CWGraphVC(const QString &nibName, QObject *parent = nullptr);
    ~CWGraphVC() override;

    void activate() override;
    void deactivate() override;
};
