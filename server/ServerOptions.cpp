#include "ServerOptions.h"

#include <QCommandLineParser>
#include <QStandardPaths>
#include <QVersionNumber>

namespace {

const QString listenOption = QStringLiteral("listen");
const QString dbOption = QStringLiteral("db");
const QString minMachinesOption = QStringLiteral("min-machines");
const QString currentVersionOption = QStringLiteral("current-version");
const QString productPageOption = QStringLiteral("product-page");
const QString refreshOption = QStringLiteral("refresh-seconds");
const QString floodOption = QStringLiteral("flood-limit");
const QString registrationOption = QStringLiteral("registration-limit");

QString defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/Cellwise/server.sqlite");
}

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Collects anonymous battery samples from Cellwise and serves "
                                                    "per-model averages, the model list and the version check."));
    parser.addHelpOption();
    parser.addOptions({
        {listenOption, QStringLiteral("Address and port to serve (default 127.0.0.1:8642). Use [::1]:PORT for IPv6."),
         QStringLiteral("ADDRESS:PORT")},
        {dbOption,
         QStringLiteral("SQLite database file, or PostgreSQL connection URI postgresql://USER@HOST/DBNAME "
                        "(default %1).")
             .arg(defaultDatabasePath()),
         QStringLiteral("PATH")},
        {minMachinesOption, QStringLiteral("Machines a model needs before its figures are shown (default 3)."),
         QStringLiteral("N")},
        {currentVersionOption,
         QStringLiteral("Newest Cellwise version, announced by the version check (default %1).")
             .arg(QStringLiteral(CELLWISE_SERVER_VERSION)),
         QStringLiteral("VERSION")},
        {productPageOption, QStringLiteral("Download page offered with a new version (default none)."),
         QStringLiteral("URL")},
        {refreshOption,
         QStringLiteral("Seconds between two computations of the averages and the model list (default 60)."),
         QStringLiteral("N")},
        {floodOption,
         QStringLiteral("Requests per second one address may make after a burst of six times as many; "
                        "0 for no limit (default 10)."),
         QStringLiteral("N")},
        {registrationOption,
         QStringLiteral("Registrations per second from all addresses together after a burst of six "
                        "times as many; 0 for no limit (default 10)."),
         QStringLiteral("N")},
    });
}

bool parseListen(const QString &text, ServerOptions &options)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (host.isEmpty() || !ok || port < 0 || port > 65535)
        return false;
    options.host = host.toStdString();
    options.port = port;
    return true;
}

} // namespace

std::optional<ServerOptions> parseServerOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    ServerOptions options;
    options.showHelp = parser.isSet(QStringLiteral("help"));
    if (parser.isSet(listenOption) && !parseListen(parser.value(listenOption), options)) {
        error = QStringLiteral("--listen needs ADDRESS:PORT, e.g. 127.0.0.1:8642");
        return std::nullopt;
    }
    options.databasePath = parser.isSet(dbOption) ? parser.value(dbOption) : defaultDatabasePath();
    const struct {
        const QString &name;
        int min;
        int max;
        int ServerOptions::*value;
    } wholeNumbers[] = {
        {minMachinesOption, 1, 1000000, &ServerOptions::minMachines},
        {refreshOption, 1, 86400, &ServerOptions::refreshSeconds},
        {floodOption, 0, 1000000, &ServerOptions::floodPerSecond},
        {registrationOption, 0, 1000000, &ServerOptions::registrationsPerSecond},
    };
    for (const auto &option : wholeNumbers) {
        if (!parser.isSet(option.name))
            continue;
        bool ok = false;
        const int value = parser.value(option.name).toInt(&ok);
        if (!ok || value < option.min || value > option.max) {
            error = QStringLiteral("--%1 needs a whole number from %2 to %3")
                        .arg(option.name)
                        .arg(option.min)
                        .arg(option.max);
            return std::nullopt;
        }
        options.*option.value = value;
    }
    options.currentVersion = parser.isSet(currentVersionOption) ? parser.value(currentVersionOption)
                                                                : QStringLiteral(CELLWISE_SERVER_VERSION);
    if (QVersionNumber::fromString(options.currentVersion).isNull()) {
        error = QStringLiteral("--current-version needs a version number such as 1.2.0");
        return std::nullopt;
    }
    options.productPage = parser.value(productPageOption);
    return options;
}

QString serverHelpText()
{
    QCommandLineParser parser;
    describeOptions(parser);
    return parser.helpText();
}
