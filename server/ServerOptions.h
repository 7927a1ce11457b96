#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8642;
    QString
        databasePath; // an SQLite file or a PostgreSQL URI; default: server.sqlite in the user's Cellwise data folder
    int minMachines = 3;
    int refreshSeconds = 60;         // between two computations of the averages and the model list
    int floodPerSecond = 10;         // requests per second and address after a burst; 0: no limit
    int registrationsPerSecond = 10; // from all addresses together, after a burst; 0: no limit
    QString currentVersion;
    QString productPage;
    bool showHelp = false;
};

// Reads the command line (arguments.first() is the program). nullopt with a reason when an option
// is unknown or its value unusable.
std::optional<ServerOptions> parseServerOptions(const QStringList &arguments, QString &error);

QString serverHelpText();
