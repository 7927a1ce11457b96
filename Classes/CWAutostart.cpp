#include "CWAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace {

// Desktop entries quote an argument holding a space or one of these, escaping the reserved ones.
QString quotedExecutable(const QString &path)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::none_of(path.cbegin(), path.cend(), [](QChar c) { return reserved.contains(c); }))
        return path;
    QString escaped = path;
    for (const char *special : {"\\", "\"", "`", "$"})
        escaped.replace(QLatin1String(special), QLatin1Char('\\') + QLatin1String(special));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

QString CWAutostart::applicationID()
{
    return QStringLiteral(CELLWISE_APP_ID);
}

QString CWAutostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
           + applicationID() + QStringLiteral(".desktop");
}

bool CWAutostart::isEnabled()
{
    return QFileInfo(entryPath()).isFile();
}

QString CWAutostart::entryText(const QString &executable)
{
    // A percent sign is a field code in Exec and must be doubled.
    const QString exec = quotedExecutable(executable).replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Cellwise\n"
                          "Comment=Keeps the battery's history while you work\n"
                          "Exec=%1 --background\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec, applicationID());
}

bool CWAutostart::setEnabled(bool enabled, QString *error)
{
    const QString path = entryPath();
    if (!enabled) {
        QFile entry(path);
        if (!entry.exists() || entry.remove())
            return true;
        *error = QStringLiteral("%1 could not be removed: %2").arg(QDir::toNativeSeparators(path), entry.errorString());
        return false;
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile entry(path);
    if (entry.open(QIODevice::WriteOnly)
        && entry.write(entryText(QCoreApplication::applicationFilePath()).toUtf8()) >= 0 && entry.commit())
        return true;
    *error = QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), entry.errorString());
    return false;
}
