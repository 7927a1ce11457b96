#pragma once

#include "CWHolderVC.h"

#include <memory>

namespace Ui {
class CWComparisonsVC;
}

// The "Comparisons" page.
class CWComparisonsVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWComparisonsVC(const QString &nibName, QObject *parent = nullptr);
    ~CWComparisonsVC() override;

    void activate() override;
    void deactivate() override;

protected:
    void setupView(QWidget *view) override;

private:
    std::unique_ptr<Ui::CWComparisonsVC> _ui;
};
