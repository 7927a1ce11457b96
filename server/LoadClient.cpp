// cellwise-loadclient: the load that server/loadtest puts on a cellwise-server on loopback. Registers
// machines, then uploads for them from several keep-alive clients while others read the averages and
// the model list, until a number of requests or of seconds is reached; prints requests per second,
// median and 99th-percentile latency and errors, and can list every upload answered "ok".
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <httplib.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int modelCount = 50;
constexpr int maxSeconds = 600;
constexpr qint64 maxRequests = 10000000;

struct Settings {
    int port = 0;
    qint64 machines = 100000;
    int clients = 8; // uploading
    int readers = 2; // reading averages and the model list
    int seconds = 20;
    qint64 requests = 2000000;
    bool registerFirst = false;
    qint64 firstSerial = 1; // uploads carry a serial number of their own in CELLW_FLAGS
    std::string acked;      // file for the serials of the uploads answered "ok"
};

// What one kind of request met: latencies in microseconds, errors, and the uploads acknowledged.
struct Tally {
    std::vector<double> latencies;
    qint64 errors = 0;
    std::vector<qint64> acked;

    void add(const Tally &other)
    {
        latencies.insert(latencies.end(), other.latencies.begin(), other.latencies.end());
        errors += other.errors;
        acked.insert(acked.end(), other.acked.begin(), other.acked.end());
    }
};

httplib::Client client(int port)
{
    httplib::Client client("127.0.0.1", port); // loopback only, whatever the caller asks
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client;
}

// Runs `threads` loops of `step` (thread index, request number) until the budget of requests or the
// deadline is spent; each thread keeps its own tally.
template <typename Step>
std::vector<Tally> runThreads(int threads, std::atomic<qint64> &budget, Clock::time_point deadline, Step step)
{
    std::vector<Tally> tallies(static_cast<size_t>(threads));
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            Tally &tally = tallies[size_t(t)];
            for (qint64 n = budget--; n > 0 && Clock::now() < deadline; n = budget--) {
                const auto started = Clock::now();
                const bool ok = step(t, n, tally);
                tally.latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - started).count());
                tally.errors += ok ? 0 : 1;
            }
        });
    }
    for (std::thread &thread : running)
        thread.join();
    return tallies;
}

void report(const char *kind, Tally tally, double seconds)
{
    if (tally.latencies.empty())
        return;
    std::sort(tally.latencies.begin(), tally.latencies.end());
    const auto percentile = [&](double p) {
        return tally.latencies[size_t(p * double(tally.latencies.size() - 1))] / 1000;
    };
    std::printf("%-13s %9zu requests in %6.1f s = %7.0f/s   p50 %6.2f ms   p99 %6.2f ms   errors %lld\n", kind,
                tally.latencies.size(), seconds, double(tally.latencies.size()) / seconds, percentile(0.5),
                percentile(0.99), static_cast<long long>(tally.errors));
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void registerMachines(const Settings &settings)
{
    std::atomic<qint64> budget = settings.machines;
    const auto start = Clock::now();
    // Uploads go to machines 1 to N, so all of them are registered, however long that takes within bounds.
    const auto deadline = start + std::chrono::seconds(maxSeconds);
    const auto tallies = runThreads(settings.clients, budget, deadline, [&](int, qint64 n, Tally &) {
        static thread_local httplib::Client c = client(settings.port);
        const httplib::Headers model{{"CELLW_MODELCODE", "MacBookPro" + std::to_string(n % modelCount) + ",1"}};
        const auto reply = c.Post("/cellw_register_machine.php", model, "", "text/plain");
        return reply && reply->status == 200;
    });
    Tally all;
    for (const Tally &tally : tallies)
        all.add(tally);
    report("registrations", all, secondsSince(start));
}

void load(const Settings &settings)
{
    std::atomic<qint64> budget = settings.requests;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(settings.seconds);
    std::vector<Tally> uploads;
    std::thread uploading([&] {
        uploads = runThreads(settings.clients, budget, deadline, [&](int, qint64 n, Tally &tally) {
            static thread_local httplib::Client c = client(settings.port);
            const qint64 serial = settings.firstSerial + n;
            const qint64 capacity = 4000 + serial % 2000;
            const httplib::Headers sample{{"CELLW_MACHINECODE", std::to_string(1 + serial % settings.machines)},
                                          {"CELLW_CAPACITY", std::to_string(capacity)},
                                          {"CELLW_CURRENT", std::to_string(capacity / 2)},
                                          {"CELLW_AMPERAGE", "-1250"},
                                          {"CELLW_VOLTAGE", std::to_string(11000 + serial % 1500)},
                                          {"CELLW_DESIGNCAP", "6000"},
                                          {"CELLW_CYCLECOUNT", std::to_string(serial % 900)},
                                          {"CELLW_FLAGS", std::to_string(serial)}};
            const auto reply = c.Post("/cellw_logbatt.php", sample, "", "text/plain");
            const bool ok = reply && reply->status == 200 && reply->body == "ok\n";
            if (ok)
                tally.acked.push_back(serial);
            return ok;
        });
    });
    const auto reads = runThreads(settings.readers, budget, deadline, [&](int, qint64 n, Tally &) {
        static thread_local httplib::Client c = client(settings.port);
        const auto reply = c.Post(n % 2 ? "/cellw_averages_2.php" : "/cellw_pbmodels.php");
        return reply && reply->status == 200;
    });
    uploading.join();
    const double seconds = secondsSince(start);
    Tally uploaded;
    for (const Tally &tally : uploads)
        uploaded.add(tally);
    Tally read;
    for (const Tally &tally : reads)
        read.add(tally);
    report("uploads", uploaded, seconds);
    report("reads", read, seconds);
    if (!settings.acked.empty()) {
        std::ofstream file(settings.acked);
        for (const qint64 serial : uploaded.acked)
            file << serial << '\n';
    }
}

bool parse(const QStringList &arguments, Settings &settings, QString &error)
{
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port of the server on 127.0.0.1."), QStringLiteral("PORT")},
        {QStringLiteral("machines"), QStringLiteral("Machines to register, and to upload for (ids 1 to N)."),
         QStringLiteral("N")},
        {QStringLiteral("clients"), QStringLiteral("Concurrent uploading clients."), QStringLiteral("C")},
        {QStringLiteral("readers"), QStringLiteral("Concurrent clients reading the averages and the model list."),
         QStringLiteral("R")},
        {QStringLiteral("seconds"),
         QStringLiteral("At most this long for the load (at most 600; the registrations too)."), QStringLiteral("S")},
        {QStringLiteral("requests"), QStringLiteral("At most this many requests of the load (at most 10000000)."),
         QStringLiteral("M")},
        {QStringLiteral("register"), QStringLiteral("Register the machines first.")},
        {QStringLiteral("first-serial"), QStringLiteral("Serial number of the first upload."), QStringLiteral("K")},
        {QStringLiteral("acked"), QStringLiteral("File to list the serial numbers of the uploads answered \"ok\"."),
         QStringLiteral("FILE")},
    });
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    const auto number = [&](const char *name, qint64 min, qint64 max, auto &value) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const qint64 read = parser.value(option).toLongLong(&ok);
        if (!ok || read < min || read > max) {
            error = QStringLiteral("--%1 needs a whole number from %2 to %3").arg(option).arg(min).arg(max);
            return false;
        }
        value = static_cast<std::remove_reference_t<decltype(value)>>(read);
        return true;
    };
    settings.registerFirst = parser.isSet(QStringLiteral("register"));
    settings.acked = parser.value(QStringLiteral("acked")).toStdString();
    return number("port", 1, 65535, settings.port) && number("machines", 1, 10000000, settings.machines)
           && number("clients", 1, 64, settings.clients) && number("readers", 0, 64, settings.readers)
           && number("seconds", 1, maxSeconds, settings.seconds)
           && number("requests", 1, maxRequests, settings.requests)
           && number("first-serial", 1, qint64(1) << 50, settings.firstSerial);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Settings settings;
    QString error;
    if (parse(QCoreApplication::arguments(), settings, error) && settings.port == 0)
        error = QStringLiteral("--port is needed");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "cellwise-loadclient: %s\n", qPrintable(error));
        return 2;
    }
    if (settings.registerFirst)
        registerMachines(settings);
    load(settings);
    return 0;
}
