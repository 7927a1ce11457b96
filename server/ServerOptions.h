#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8642;
    QString databasePath; // default: server.sqlite in the user's Cellwise data folder
    int minMachines = 3;
    QString currentVersion;
    QString productPage;
    bool showHelp = false;
};

// Reads the command line (arguments.first() is the program). nullopt with a reason when an option
// is unknown or its value unusable.
std::optional<ServerOptions> parseServerOptions(const QStringList &arguments, QString &error);

QString serverHelpText();
