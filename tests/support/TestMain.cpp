// Every test process runs headless in a home of its own: nothing reads the user's files, settings,
// the real battery or a real statistics server.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QTemporaryDir home;
    const QString root = home.path();
    for (const char *dir : {"config", "data", "cache", "sysfs"})
        QDir(root).mkpath(QString::fromLatin1(dir));
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (root + "/cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.toUtf8()); // private (0700), as Qt requires
    qputenv("CELLWISE_SYSFS_ROOT", (root + "/sysfs").toUtf8());
    // No statistics server listens there: launches never reach a real one.
    qputenv("CELLWISE_SERVER", "http://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwise"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
