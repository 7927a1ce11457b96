#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class CWLog;
class QWidget;
namespace Ui {
class CWPrefsWC;
}

// The preferences window: its controls are bound to the user defaults; its two actions maintain
// the log database it is given (none when the log could not be opened).
class CWPrefsWC : public QObject {
    Q_OBJECT
public:
    explicit CWPrefsWC(CWLog *log, QObject *parent = nullptr);
    ~CWPrefsWC() override;

    // Loads the window on first use and brings it to front.
    void showWindow();
    QWidget *window();

    // Writes or removes the login entry; the checkbox then shows what the file says.
    void setStartAtLogin(bool enabled);

    void clearAllLogs();
    void reIndexLog();

protected:
    // The login entry may have been removed by hand since: the checkbox follows it on activation.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void _bindControls();
    void _showStartAtLogin();

    CWLog *const _log;
    std::unique_ptr<Ui::CWPrefsWC> _ui;
    QPointer<QWidget> _window;
};
