// Every test process runs headless in a home of its own: nothing reads the user's files, settings,
// the real battery or a real statistics server.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QTemporaryDir home;
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_RUNTIME_DIR", root); // private (0700), as Qt requires
    for (const auto &[variable, folder] : {std::pair{"XDG_CONFIG_HOME", "/config"},
                                           {"XDG_DATA_HOME", "/data"},
                                           {"XDG_CACHE_HOME", "/cache"},
                                           {"CELLWISE_SYSFS_ROOT", "/sysfs"}}) {
        QDir().mkpath(QString::fromUtf8(root + folder));
        qputenv(variable, root + folder);
    }
    // No statistics server listens there: launches never reach a real one.
    qputenv("CELLWISE_SERVER", "http://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cellwise"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
