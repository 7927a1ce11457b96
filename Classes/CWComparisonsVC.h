#pragma once

#include "CWHolderVC.h"

#include <QVariantList>
#include <functional>

class CWBatteryMonitor;
class QComboBox;
namespace Ui {
class CWComparisonsVC;
}

// The "Comparisons" page: this battery's capacity, design capacity, voltage and cycle count beside
// the minimum, median and maximum of the machines of one model, as the statistics server counted
// them. The model menu lists the models it is handed (the merged model list the application
// delegate keeps); the user's own model is bold and selected whenever the page is shown.
class CWComparisonsVC : public CWFormVC<Ui::CWComparisonsVC> {
    Q_OBJECT
public:
    // The server's models as they stand now, each with its averages under "battData".
    using ModelSource = std::function<QVariantList()>;

    CWComparisonsVC(const QString &nibName, const CWBatteryMonitor &monitor, ModelSource models,
                    QObject *parent = nullptr);
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
    void awakeFromNib() override;

private:
    void _showComparison();
    void _setPopulationFields(const QVariantMap &battData);
    void _clearPopulationFields();

    const CWBatteryMonitor &_monitor;
    const ModelSource _models;
    qint64 _selectedModelid = 0; // "pb_modelid" of the model shown; 0 for none
};
