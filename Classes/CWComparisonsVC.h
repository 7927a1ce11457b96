#pragma once

#include "CWHolderVC.h"

#include <memory>

class QComboBox;
namespace Ui {
class CWComparisonsVC;
}

// The "Comparisons" page: this battery's capacity, design capacity, voltage and cycle count beside
// the minimum, median and maximum of the machines of one model, as the statistics server counted
// them. The model menu lists the application delegate's merged model list; the user's own model is
// bold and selected whenever the page is shown.
class CWComparisonsVC : public CWHolderVC {
    Q_OBJECT
public:
    explicit CWComparisonsVC(const QString &nibName, QObject *parent = nullptr);
    ~CWComparisonsVC() override;

    void activate() override;
    void deactivate() override {}

    qint64 selectedModelid() const { return _selectedModelid; }

    // The model menu's action: shows the figures of the model the user picked in `sender`.
    void selectModel(QComboBox *sender);
    // This battery's own values, read from the monitor now.
    void updateFields();
    // Lists the models again and selects the user's own.
    void rebuildMenu();

protected:
    void setupView(QWidget *view) override;

private:
    void _showComparison();
    void _setPopulationFields(const QVariantMap &battData);
    void _clearPopulationFields();

    std::unique_ptr<Ui::CWComparisonsVC> _ui;
    qint64 _selectedModelid = 0; // "pb_modelid" of the model shown; 0 for none
};
