#include "DefaultsBinding.h"

#include "UserDefaults.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSignalBlocker>
#include <memory>

namespace DefaultsBinding {
namespace {

// Keeps the control showing the key and removes the observation when the control goes away.
template <typename Control, typename Show>
void followKey(Control *control, const QString &key, Show show)
{
    // Showing a value is no edit: it must not write the value back (that would store a default).
    const auto showQuietly = [control, show] {
        const QSignalBlocker blocker(control);
        show();
    };
    showQuietly();
    // The connection, and with it the subscription, goes with the control.
    auto subscription = std::make_shared<Subscription>(UserDefaults::standard().addObserver(key, showQuietly));
    QObject::connect(control, &QObject::destroyed, [subscription] { subscription->reset(); });
}

} // namespace

void bindChecked(QAbstractButton *button, const QString &key)
{
    followKey(button, key, [button, key] { button->setChecked(UserDefaults::standard().boolForKey(key)); });
    QObject::connect(button, &QAbstractButton::toggled,
                     [key](bool checked) { UserDefaults::standard().setBool(key, checked); });
}

void bindCurrentData(QComboBox *comboBox, const QString &key)
{
    followKey(comboBox, key, [comboBox, key] {
        comboBox->setCurrentIndex(comboBox->findData(UserDefaults::standard().integerForKey(key)));
    });
    QObject::connect(comboBox, &QComboBox::activated, [comboBox, key](int index) {
        UserDefaults::standard().setInteger(key, comboBox->itemData(index).toLongLong());
    });
}

void bindValue(QDoubleSpinBox *spinBox, const QString &key)
{
    followKey(spinBox, key, [spinBox, key] { spinBox->setValue(UserDefaults::standard().doubleForKey(key)); });
    QObject::connect(spinBox, &QDoubleSpinBox::valueChanged,
                     [key](double value) { UserDefaults::standard().setDouble(key, value); });
}

} // namespace DefaultsBinding
