#pragma once

#include <QString>

class QAbstractButton;
class QComboBox;
class QDoubleSpinBox;

// Two-way bindings between controls and user-defaults keys: the control shows the key's value and
// writes every change the user makes; a change of the key from elsewhere updates the control.
// Each binding ends with its control.
namespace DefaultsBinding {

void bindChecked(QAbstractButton *button, const QString &key);
// The combo box's item data are the key's integer values.
void bindCurrentData(QComboBox *comboBox, const QString &key);
void bindValue(QDoubleSpinBox *spinBox, const QString &key);

} // namespace DefaultsBinding
