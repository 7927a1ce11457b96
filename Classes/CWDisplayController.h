#pragma once

#include "CWPageSelectorView.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <functional>
#include <memory>

class CWBatteryMonitor;
class CWBattInfoVC;
class CWComparisonsVC;
class CWDashboardVC;
class CWEventLogVC;
class CWGraphVC;
class CWHolderVC;
class CWLog;
class CWPDFAtlas;

class QWidget;

// Owns the main window: loads it on first show, fills the page list and swaps the selected page's
// view into the content area, telling pages when they go on and off screen. It hands each page what
// the page shows.
class CWDisplayController : public QObject, public CWPageSelectorViewDelegate {
    Q_OBJECT
public:
    enum Page : qint64 { Monitor = 0, Graph = 1, Comparisons = 2, BatteryData = 3, EventLog = 4 };

    // The log is asked for when a page first needs it, not before: a launch refused for want of a
    // battery must not create one. models gives the server's model list as it stands.
    CWDisplayController(const CWBatteryMonitor &monitor, std::function<CWLog *()> log,
                        std::function<QVariantList()> models, QObject *parent = nullptr);
    ~CWDisplayController() override;

    void showMainWindow();
    void showCellwiseWindow() { showMainWindow(); }

    CWPDFAtlas *pdfAtlas();
    QMainWindow *mainWindow() const { return _mainWindow; }
    CWPageSelectorView *pageSelector() const { return _pageSelector; }
    QWidget *mainContentView() const { return _mainContentView; }
    qint64 currentPage() const { return _currentPage; }
    CWHolderVC *currentVC() const { return _currentVC; }

    // The controller of a page index (created on first use); none outside 0 to 4.
    CWHolderVC *controllerForPage(qint64 page);
    CWDashboardVC *dashboardVC();
    CWGraphVC *graphVC();
    CWComparisonsVC *comparisonsVC();
    CWBattInfoVC *battInfoVC();
    CWEventLogVC *eventLogVC();

    void pageSelector(CWPageSelectorView *pageSelector, qint64 selectedPage) override;

    // "Save Page as Image…": asks where, then saves the page on show.
    void savePageAsImage();
    // Saves the page on show as it looks now (PNG or PDF by the suffix); false after telling the user why.
    bool savePageAsImage(const QString &path);

Q_SIGNALS:
    // The window's menu asks for these; the application delegate answers them.
    void preferencesRequested();
    void aboutRequested();
    void exportHistoryRequested();
    void batteryReportRequested();
    void quitRequested();

private:
    bool _loadMainWindow();
    QVariantList _rowSpecs();

    const CWBatteryMonitor &_monitor;
    const std::function<CWLog *()> _log;
    const std::function<QVariantList()> _models;
    std::unique_ptr<CWPDFAtlas> _pdfAtlas;
    QPointer<QMainWindow> _mainWindow;
    CWPageSelectorView *_pageSelector = nullptr;
    QWidget *_mainContentView = nullptr;
    qint64 _currentPage = -1;
    CWHolderVC *_currentVC = nullptr;
    std::unique_ptr<CWDashboardVC> _dashboardVC;
    std::unique_ptr<CWGraphVC> _graphVC;
    std::unique_ptr<CWComparisonsVC> _comparisonsVC;
    std::unique_ptr<CWBattInfoVC> _battInfoVC;
    std::unique_ptr<CWEventLogVC> _eventLogVC;
};
