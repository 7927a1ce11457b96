#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QWidget;
namespace Ui {
class CWPrefsWC;
}

// The preferences window: its controls are bound to the user defaults; its two actions maintain
// the log database.
class CWPrefsWC : public QObject {
    Q_OBJECT
public:
    explicit CWPrefsWC(QObject *parent = nullptr);
    ~CWPrefsWC() override;

    // Loads the window on first use and brings it to front.
    void showWindow();
    QWidget *window();

    void clearAllLogs();
    void reIndexLog();

private:
    void _bindControls();

    std::unique_ptr<Ui::CWPrefsWC> _ui;
    QPointer<QWidget> _window;
};
