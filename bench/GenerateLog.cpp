// cellwise-genlog: writes a synthetic battLog3.sqlite of a chosen size, driven by the simulated
// battery, for benchmarks and for trying the history views on a long log.
#include "LogGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cellwise-genlog"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a synthetic battery log driven by the simulated battery."));
    parser.addHelpOption();
    const QCommandLineOption samples(QStringLiteral("samples"), QStringLiteral("Number of samples (3000000)."),
                                     QStringLiteral("N"), QStringLiteral("3000000"));
    const QCommandLineOption months(QStringLiteral("months"), QStringLiteral("Months the log spans (14)."),
                                    QStringLiteral("M"), QStringLiteral("14"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Path of the new log file."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption classify(QStringLiteral("classify"),
                                      QStringLiteral("Classify the samples as a launch would (the last run's stay "
                                                     "unclassified)."));
    parser.addOptions({samples, months, out, classify});
    parser.process(app);

    LogGenerator::Options options;
    bool samplesOk = false;
    bool monthsOk = false;
    options.samples = parser.value(samples).toLongLong(&samplesOk);
    options.months = parser.value(months).toDouble(&monthsOk);
    options.classify = parser.isSet(classify);
    if (!samplesOk || !monthsOk || !parser.isSet(out)) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    const auto summary = LogGenerator::generate(parser.value(out), options);
    if (!summary)
        return 1;
    const auto date = [](qint64 seconds) {
        return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate);
    };
    std::printf("%s\n",
                qPrintable(QString::asprintf("Wrote %lld samples and %lld events (%s to %s) into %s in %.1f s",
                                             summary->samples, summary->events, qPrintable(date(summary->firstTime)),
                                             qPrintable(date(summary->lastTime)), qPrintable(parser.value(out)),
                                             timer.elapsed() / 1000.0)));
    return 0;
}
