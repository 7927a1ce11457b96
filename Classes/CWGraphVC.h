#pragma once

#include "CWGraphSamples.h"
#include "CWHolderVC.h"
#include "Subscription.h"

#include <QDateTime>
#include <QTimer>

#include <utility>
#include <vector>

class CWCWGraphView;
class CWLog;
class QButtonGroup;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QSpinBox;
namespace Ui {
class CWGraphVC;
}

// The "Graph" page: the controls that choose the time range, and the graph of the battery log over
// it. A range that ends now is refreshed every 5 seconds while the page is shown, reading only what
// was logged since the last refresh; a fixed range between two dates is read when it changes. It
// reads the log it is given (none when the log could not be opened: an empty graph).
class CWGraphVC : public CWFormVC<Ui::CWGraphVC> {
    Q_OBJECT
public:
    enum TimeMode : qint32 { Recent = 0, Fixed = 1 };

    CWGraphVC(const QString &nibName, CWLog *log, QObject *parent = nullptr);
    ~CWGraphVC() override;

    // Outlets; asking for one loads the view.
    CWCWGraphView *graphView();
    QLineEdit *agoField();
    QComboBox *agoPopup();
    QSpinBox *agoStepper();
    QDateTimeEdit *dateFromPicker();
    QDateTimeEdit *dateToPicker();
    QButtonGroup *dateRangeRadio(); // button 0: recent range; button 1: fixed range

    TimeMode timeMode();
    // How long the recent range is: the number in the field of the pop-up's unit.
    double secondsAgo();
    QDateTime effectiveStartDate() { return _effectiveRange().first; }
    QDateTime effectiveEndDate() { return _effectiveRange().second; }
    bool isTimerRunning() const { return _recentTimer.isActive(); }
    // Whether a long window is still being read; the graph shows it when done.
    bool isReading() const { return _readOn.isActive(); }

    void activate() override;
    void deactivate() override;
    // The action of every range control.
    void changeDateVals(QObject *sender);
    void startTimer();
    void stopTimer();
    // Shows a range written as CWGraphRange reads it ("1h", "30d", "2024-01-01..2024-03-31"); false,
    // changing nothing, when the text is no range.
    bool setRange(const QString &text);

protected:
    void awakeFromNib() override;

private:
    Ui::CWGraphVC &_outlets();
    void _setUpControls();
    void _connectControls();
    std::pair<QDateTime, QDateTime> _effectiveRange();
    void _updateControlAvailability();
    void _updateGraphView();
    void _pushDataIntoGraphView();

    CWLog *const _log;
    QTimer _recentTimer;
    QTimer _readOn; // the next slice of a long window
    CWGraphSamples _samples;
    // Last, so that they end first: no observation outlives what it updates.
    std::vector<Subscription> _graphObservations;
};
