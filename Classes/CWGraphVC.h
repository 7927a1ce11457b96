#pragma once

#include "CWHolderVC.h"

#include <memory>

namespace Ui {
class CWGraphVC;
}

// The "Graph" page.
class CWGraphVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWGraphVC(const QString &nibName, QObject *parent = nullptr);
    ~CWGraphVC() override;

    void activate() override;
    void deactivate() override;

protected:
    void setupView(QWidget *view) override;

private:
    std::unique_ptr<Ui::CWGraphVC> _ui;
};
