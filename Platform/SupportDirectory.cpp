#include "SupportDirectory.h"

#include "Console.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

QString supportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    const QString path = base + QStringLiteral("/Cellwise");
    const QFileInfo info(path);
    if (info.isDir())
        return path;
    const QString failure = QStringLiteral("Unable to create the support directory ") + path + QStringLiteral(": ");
    QFile inTheWay(path);
    if (info.exists() && !inTheWay.remove()) {
        Console::line(failure + inTheWay.errorString());
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (error) {
        Console::line(failure + QString::fromStdString(error.message()));
        return {};
    }
    return path;
}
