#include "CWComparisonsVC.h"

#include "ui_CWComparisonsVC.h"

#include "CWBatteryMonitor.h"
#include "CWUtil.h"
#include "Console.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

const QString kNoModelsNote = QStringLiteral("No comparison data from the statistics server yet.");
const QString kTooSmallNote = QStringLiteral("Too few batteries of this model have been reported to compare.");

QString mAhText(qint64 mAh)
{
    return QString::asprintf("%i mAh", int(mAh));
}

QString voltsText(double volts)
{
    return QString::asprintf("%0.1f V", volts);
}

QString cyclesText(qint64 cycles)
{
    return QString::asprintf("%i cycles", int(cycles));
}

// Server figures arrive as numbers or numeric text. One the server cannot have got from a laptop
// battery (or none at all) is shown as unknown rather than believed.
std::optional<double> plausibleFigure(const QVariant &figure, double lowest, double highest)
{
    bool isNumber = false;
    const double value = figure.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value) || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

const QString kUnknownFigure = QStringLiteral("\u2014");

// A fraction is cut off, as the figures are whole mAh and cycles.
QString mAhFigure(const QVariant &figure)
{
    const std::optional<double> mAh = plausibleFigure(figure, 100, 200'000);
    return mAh ? mAhText(qint64(*mAh)) : kUnknownFigure;
}

QString millivoltsFigure(const QVariant &figure)
{
    const std::optional<double> millivolts = plausibleFigure(figure, 2'500, 30'000);
    return millivolts ? voltsText(*millivolts / 1000.0) : kUnknownFigure;
}

QString cyclesFigure(const QVariant &figure)
{
    const std::optional<double> cycles = plausibleFigure(figure, 0, 100'000);
    return cycles ? cyclesText(qint64(*cycles)) : kUnknownFigure;
}

// One quantity of the model's population: the stem of its "min_", "med_" and "max_" keys, how a
// figure reads, and its three fields.
struct PopulationRow {
    const char *stem;
    QString (*text)(const QVariant &figure);
    std::array<CWShadowTextField *, 3> fields;
};

std::array<PopulationRow, 4> populationRows(const Ui::CWComparisonsVC &ui)
{
    return {{
        {"capacity", mAhFigure, {ui.minCapacity, ui.medCapacity, ui.maxCapacity}},
        {"designcap", mAhFigure, {ui.minDesignCapacity, ui.medDesignCapacity, ui.maxDesignCapacity}},
        {"volts", millivoltsFigure, {ui.minVoltage, ui.medVoltage, ui.maxVoltage}},
        {"cyclecount", cyclesFigure, {ui.minCycleCount, ui.medCycleCount, ui.maxCycleCount}},
    }};
}

QPalette withTextColor(QPalette palette, const char *hex)
{
    palette.setColor(QPalette::WindowText, CWUtil::hexColorToCGColor(hex));
    return palette;
}

// Light text on the dark background: muted captions, bright population figures, and this
// battery's own values in the accent colour so that they stand apart.
void styleFigures(const Ui::CWComparisonsVC &ui)
{
    ui.content->setPalette(withTextColor(ui.content->palette(), "a8a49c"));
    for (QLabel *caption : ui.content->findChildren<QLabel *>())
        caption->setFont(CWUtil::boldAppFontOfSize(13));
    ui.note->setFont(CWUtil::appFontOfSize(14));
    for (CWShadowTextField *field : ui.content->findChildren<CWShadowTextField *>()) {
        field->setFont(CWUtil::appFontOfSize(16));
        // Columns keep their width while their figures are empty.
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("999 cycles")));
        field->setPalette(withTextColor(field->palette(), "f0eee8"));
    }
    for (CWShadowTextField *field : {ui.yourCapacity, ui.yourDesignCapacity, ui.yourVoltage, ui.yourCycleCount})
        field->setPalette(withTextColor(field->palette(), "7cd6e8"));
}

qint64 modelID(const QVariantMap &record)
{
    return record.value(QStringLiteral("pb_modelid")).toLongLong();
}

} // namespace

CWComparisonsVC::CWComparisonsVC(const QString &nibName, const CWBatteryMonitor &monitor, ModelSource models,
                                 QObject *parent)
    : CWFormVC(nibName, parent)
    , _monitor(monitor)
    , _models(std::move(models))
{
}

CWComparisonsVC::~CWComparisonsVC() = default;

void CWComparisonsVC::awakeFromNib()
{
    styleFigures(*_ui);
    // Only the user's choice selects a model; rebuilding the menu selects through rebuildMenu().
    connect(_ui->models, &QComboBox::activated, this, [this] { selectModel(_ui->models); });
}

void CWComparisonsVC::activate()
{
    rebuildMenu();
    updateFields();
}

void CWComparisonsVC::selectModel(QComboBox *sender)
{
    _selectedModelid = sender->currentData().toLongLong();
    _showComparison();
}

void CWComparisonsVC::updateFields()
{
    _ui->yourCapacity->setText(mAhText(_monitor.currentCapacity()));
    _ui->yourDesignCapacity->setText(mAhText(_monitor.designCapacity()));
    _ui->yourVoltage->setText(voltsText(_monitor.voltage()));
    _ui->yourCycleCount->setText(cyclesText(_monitor.cycleCount()));
}

void CWComparisonsVC::rebuildMenu()
{
    const QString ownCode = _monitor.modelCode();
    QComboBox *models = _ui->models;
    models->clear();
    qint64 ownModelid = 0;
    for (const QVariant &item : _models()) {
        const QVariantMap record = item.toMap();
        models->addItem(record.value(QStringLiteral("name")).toString(), modelID(record));
        if (record.value(QStringLiteral("code")).toString() == ownCode) {
            models->setItemData(models->count() - 1, CWUtil::boldAppFontOfSize(13), Qt::FontRole);
            ownModelid = modelID(record); // the last match wins
        }
    }
    models->setEnabled(models->count() > 0);
    _selectedModelid = ownModelid;
    models->setCurrentIndex(models->findData(_selectedModelid));
    _showComparison();
}

void CWComparisonsVC::_showComparison()
{
    const QVariantList records = _models();
    const auto selected = std::find_if(records.cbegin(), records.cend(), [this](const QVariant &record) {
        return modelID(record.toMap()) == _selectedModelid;
    });
    if (selected == records.cend()) {
        Console::line(QStringLiteral("[CWComparisonsVC _showComparison] failed"));
        _ui->note->setText(records.isEmpty() ? kNoModelsNote : QString());
        return;
    }
    const QVariantMap battData = selected->toMap().value(QStringLiteral("battData")).toMap();
    if (battData.value(QStringLiteral("status")).toString() == QLatin1String("toosmall")) {
        _clearPopulationFields();
        _ui->note->setText(kTooSmallNote);
        return;
    }
    _setPopulationFields(battData);
    _ui->note->clear();
}

void CWComparisonsVC::_setPopulationFields(const QVariantMap &battData)
{
    static const std::array<const char *, 3> prefixes{"min_", "med_", "max_"};
    for (const PopulationRow &row : populationRows(*_ui)) {
        for (size_t i = 0; i < prefixes.size(); ++i)
            row.fields[i]->setText(row.text(battData.value(QLatin1String(prefixes[i]) + QLatin1String(row.stem))));
    }
}

void CWComparisonsVC::_clearPopulationFields()
{
    for (const PopulationRow &row : populationRows(*_ui)) {
        for (CWShadowTextField *field : row.fields)
            field->clear();
    }
}
