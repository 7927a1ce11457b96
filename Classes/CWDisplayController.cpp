#include "CWDisplayController.h"

#include "AlertPanel.h"
#include "CWBattInfoVC.h"
#include "CWComparisonsVC.h"
#include "CWDashboardVC.h"
#include "CWEventLogVC.h"
#include "CWGraphVC.h"
#include "CWPDFAtlas.h"
#include "CWPDFAtlasTileImage.h"
#include "CWPageRenderer.h"
#include "CWUtil.h"
#include "Console.h"
#include "ui_CWMainWindow.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

struct PageRow {
    const char *name;
    unsigned tileX; // icon column in the atlas, row 3
};

// In page-index order.
constexpr PageRow kPageRows[] = {
    {"Monitor", 1}, {"Graph", 2}, {"Comparisons", 4}, {"Battery Data", 0}, {"Event Log", 3},
};
constexpr unsigned kIconRow = 3;

// The page's controller, created on first use with its interface file and what it shows.
template <typename Controller, typename... Sources>
Controller *lazily(std::unique_ptr<Controller> &controller, const char *nibName, const Sources &...sources)
{
    if (!controller)
        controller = std::make_unique<Controller>(QString::fromLatin1(nibName), sources...);
    return controller.get();
}

} // namespace

CWDisplayController::CWDisplayController(const CWBatteryMonitor &monitor, std::function<CWLog *()> log,
                                         std::function<QVariantList()> models, QObject *parent)
    : QObject(parent)
    , _monitor(monitor)
    , _log(std::move(log))
    , _models(std::move(models))
{
}

CWDisplayController::~CWDisplayController()
{
    // Page views live in the window's content area; let the controllers take them down first.
    _dashboardVC.reset();
    _graphVC.reset();
    _comparisonsVC.reset();
    _battInfoVC.reset();
    _eventLogVC.reset();
    delete _mainWindow;
}

void CWDisplayController::showMainWindow()
{
    if (!_mainWindow && _loadMainWindow()) {
        pdfAtlas();
        _pageSelector->setDelegate(this);
        _pageSelector->setRowSpecs(_rowSpecs());
    }
    if (!_mainWindow)
        return;
    _mainWindow->show();
    _mainWindow->raise();
    _mainWindow->activateWindow();
}

bool CWDisplayController::_loadMainWindow()
{
    auto *window = new QMainWindow;
    Ui::CWMainWindow ui;
    ui.setupUi(window);
    if (!ui.pageSelector || !ui.mainContentView) {
        Console::line(QStringLiteral("Couldn't load nib CWMainWindow"));
        delete window;
        return false;
    }
    _mainWindow = window;
    _pageSelector = ui.pageSelector;
    _mainContentView = ui.mainContentView;
    // Pages fill the content area and follow its size.
    auto *pageLayout = new QVBoxLayout(_mainContentView);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    connect(ui.actionShowCellwiseWindow, &QAction::triggered, this, &CWDisplayController::showCellwiseWindow);
    connect(ui.actionPreferences, &QAction::triggered, this, &CWDisplayController::preferencesRequested);
    connect(ui.actionAbout, &QAction::triggered, this, &CWDisplayController::aboutRequested);
    connect(ui.actionExportHistory, &QAction::triggered, this, &CWDisplayController::exportHistoryRequested);
    connect(ui.actionBatteryReport, &QAction::triggered, this, &CWDisplayController::batteryReportRequested);
    connect(ui.actionQuit, &QAction::triggered, this, &CWDisplayController::quitRequested);
    connect(ui.actionSavePageAsImage, &QAction::triggered, this, qOverload<>(&CWDisplayController::savePageAsImage));
    return true;
}

CWPDFAtlas *CWDisplayController::pdfAtlas()
{
    if (!_pdfAtlas) {
        _pdfAtlas = std::make_unique<CWPDFAtlas>();
        _pdfAtlas->setDocument(CWUtil::pdfResource(QStringLiteral("icons")), 1);
        _pdfAtlas->setTileSize(QSizeF(32, 32));
    }
    return _pdfAtlas.get();
}

QVariantList CWDisplayController::_rowSpecs()
{
    QVariantList rows;
    for (const PageRow &row : kPageRows) {
        rows << QVariantMap{{QStringLiteral("name"), QString::fromLatin1(row.name)},
                            {QStringLiteral("description"), QVariant()},
                            {QStringLiteral("image"), QVariant::fromValue(pdfAtlas()->tileAtX(row.tileX, kIconRow))}};
    }
    return rows;
}

CWDashboardVC *CWDisplayController::dashboardVC()
{
    return lazily(_dashboardVC, "CWDashboardVC", _monitor);
}
CWGraphVC *CWDisplayController::graphVC()
{
    // Only now is the log needed.
    if (!_graphVC)
        _graphVC = std::make_unique<CWGraphVC>(QStringLiteral("CWGraphVC"), _log());
    return _graphVC.get();
}

// clang-format off
CWComparisonsVC *CWDisplayController::comparisonsVC() { return lazily(_comparisonsVC, "CWComparisonsVC", _monitor, _models); }
CWBattInfoVC *CWDisplayController::battInfoVC() { return lazily(_battInfoVC, "CWBattInfoVC", _monitor); }
// clang-format on

CWEventLogVC *CWDisplayController::eventLogVC()
{
    // Only now is the log needed.
    if (!_eventLogVC)
        _eventLogVC = std::make_unique<CWEventLogVC>(QStringLiteral("CWEventLogVC"), _monitor, _log());
    return _eventLogVC.get();
}

CWHolderVC *CWDisplayController::controllerForPage(qint64 page)
{
    switch (page) {
    case Monitor:
        return dashboardVC();
    case Graph:
        return graphVC();
    case Comparisons:
        return comparisonsVC();
    case BatteryData:
        return battInfoVC();
    case EventLog:
        return eventLogVC();
    default:
        return nullptr;
    }
}

void CWDisplayController::pageSelector(CWPageSelectorView *, qint64 selectedPage)
{
    if (selectedPage == _currentPage)
        return;
    _currentPage = selectedPage;
    for (QWidget *child : _mainContentView->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        child->hide();
        child->setParent(nullptr);
    }
    CWHolderVC *picked = controllerForPage(selectedPage);
    if (picked == _currentVC)
        return;
    if (_currentVC) {
        _currentVC->deactivate();
        _currentVC->view()->setParent(nullptr);
    }
    if (!picked) {
        _mainContentView->update();
        _currentVC = nullptr;
        return;
    }
    QWidget *view = picked->view();
    _mainContentView->layout()->addWidget(view);
    view->show();
    picked->activate();
    _currentVC = picked;
}

void CWDisplayController::savePageAsImage()
{
    if (!_currentVC)
        return;
    const QString suggested = QStringLiteral("%1/Cellwise %2.png")
                                  .arg(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
                                       QLatin1String(kPageRows[_currentPage].name));
    QString selectedFilter;
    QString path = QFileDialog::getSaveFileName(_mainWindow, tr("Save Page as Image"), suggested,
                                                tr("PNG image (*.png);;PDF document (*.pdf)"), &selectedFilter);
    if (path.isEmpty())
        return;
    if (!CWPageRenderer::isSupportedPath(path))
        path += selectedFilter.contains(QStringLiteral("pdf")) ? QStringLiteral(".pdf") : QStringLiteral(".png");
    savePageAsImage(path);
}

bool CWDisplayController::savePageAsImage(const QString &path)
{
    if (!_currentVC)
        return false;
    QWidget *view = _currentVC->view();
    QString error;
    if (CWPageRenderer::write(*view, path, view->devicePixelRatioF(), &error))
        return true;
    Console::line(error);
    AlertPanel::run({tr("The page could not be saved as an image."), error, tr("OK"), QString(), QString()});
    return false;
}
