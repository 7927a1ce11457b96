// Screenshots of the desktop integration's windows: the Preferences with "Start Cellwise at login",
// the "Export History" window, and the export's progress dialog on a generated 300 000-sample log.
// Run under a display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/cellwise-desktop-screenshots OUTPUT_DIR
#include "CWAppDelegate.h"
#include "CWExportHistoryWC.h"
#include "CWLog.h"
#include "CWPrefsWC.h"
#include "LogGenerator.h"
#include "ScratchHome.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QProgressDialog>
#include <QScreen>
#include <cstdio>

namespace {

bool save(QWidget *window, const QString &path)
{
    runEventLoopFor(300);
    // The window as the screen shows it, with its frame where the window manager draws one.
    const QPixmap shot =
        window->screen()->grabWindow(0, window->frameGeometry().x(), window->frameGeometry().y(),
                                     window->frameGeometry().width(), window->frameGeometry().height());
    const bool ok = shot.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    ScratchHome home;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwise"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: cellwise-desktop-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));
    CWAppDelegate::registerDefaults();

    LogGenerator::Options options;
    options.samples = 300'000;
    options.months = 2;
    if (!LogGenerator::generate(CWLog::sharedLogFile(), options))
        return 1;

    CWPrefsWC prefs(nullptr);
    prefs.showWindow();
    prefs.setStartAtLogin(true);
    bool ok = save(prefs.window(), out.filePath(QStringLiteral("preferences.png")));
    prefs.window()->hide();

    CWExportHistoryWC exportWC;
    exportWC.showWindow(nullptr);
    ok = save(exportWC.window(), out.filePath(QStringLiteral("export-history.png"))) && ok;
    exportWC.window()->hide();

    // The progress dialog shows itself only after a few seconds; here it is shown at once.
    exportWC.exportTo(out.filePath(QStringLiteral("export.csv")));
    QProgressDialog *progress = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        progress = progress ? progress : qobject_cast<QProgressDialog *>(widget);
    if (progress)
        progress->show();
    ok = progress && save(progress, out.filePath(QStringLiteral("export-progress.png"))) && ok;
    if (progress)
        progress->cancel();
    runEventLoopFor(200);
    return ok ? 0 : 1;
}
