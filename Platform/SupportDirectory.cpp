#include "SupportDirectory.h"

#include "Console.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

QString supportDirectoryPath()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/Cellwise");
}

QString supportDirectory()
{
    const QString path = supportDirectoryPath();
    if (path.isNull())
        return {};
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
