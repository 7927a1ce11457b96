// What logging a battery that changes every second costs the disk: syncs and bytes written per
// sample, over ten simulated minutes (--samples=N to change), for the log as it writes today
// (write-ahead log, synchronous=NORMAL) and for a rollback journal with full syncs, as before.
// Syncs and the bytes SQLite hands to the kernel are counted by wrapping the C library's calls;
// the kernel's own count of bytes sent to storage comes from /proc/self/io.
#include "BenchLogs.h"
#include "SimulatedBattery.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

namespace {

qint64 gSamples = 600;
qint64 gSyncs = 0;
qint64 gBytesWritten = 0;

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

qint64 storageWriteBytes()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    }
    return 0;
}

QString insertStatement(const QVariantMap &snapshot)
{
    QStringList values;
    for (const QString &column : CWLog::sampleColumns()) {
        const QString text = PropertyListWriter::valueText(snapshot.value(column));
        values << (text.isNull() ? QStringLiteral("NULL") : QLatin1Char('\'') + text + QLatin1Char('\''));
    }
    return QStringLiteral("INSERT INTO battlog ('") + CWLog::sampleColumns().join(QStringLiteral("', '"))
           + QStringLiteral("') VALUES (") + values.join(QStringLiteral(", ")) + QLatin1Char(')');
}

// Writes the samples, one transaction each, with the log (writeAheadLog) or through a connection
// of its own in SQLite's default journal mode with full syncs.
void writeSamples(benchmark::State &state, bool writeAheadLog)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/battLog3.sqlite");
        std::unique_ptr<CWLog> log = CWLog::initWithFile(path);
        sqlite3 *rawDb = nullptr;
        if (!writeAheadLog) {
            log.reset();
            sqlite3_open(path.toUtf8().constData(), &rawDb);
            sqlite3_exec(rawDb, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        }
        const Sqlite::Connection journalDb(rawDb);
        const qint64 syncsBefore = gSyncs;
        const qint64 bytesBefore = gBytesWritten;
        const qint64 storageBefore = storageWriteBytes();
        for (qint64 sample = 0; sample < gSamples; ++sample) {
            const QVariantMap snapshot =
                SimulatedBattery::snapshotAt(double(sample) * SimulatedBattery::kReadingInterval);
            if (writeAheadLog)
                log->logBattDict(snapshot);
            else
                sqlite3_exec(rawDb, insertStatement(snapshot).toUtf8().constData(), nullptr, nullptr, nullptr);
        }
        const double samples = double(gSamples);
        state.counters["syncs_per_sample"] = double(gSyncs - syncsBefore) / samples;
        state.counters["KB_handed_to_kernel_per_sample"] = double(gBytesWritten - bytesBefore) / samples / 1024.0;
        state.counters["KB_to_storage_per_sample"] = double(storageWriteBytes() - storageBefore) / samples / 1024.0;
    }
}

void BM_WriteAheadLog(benchmark::State &state)
{
    writeSamples(state, true);
}
BENCHMARK(BM_WriteAheadLog)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RollbackJournal(benchmark::State &state)
{
    writeSamples(state, false);
}
BENCHMARK(BM_RollbackJournal)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// SQLite's calls into the C library, counted on their way through.
extern "C" {
int fdatasync(int fd)
{
    ++gSyncs;
    return real<int (*)(int)>("fdatasync")(fd);
}
int fsync(int fd)
{
    ++gSyncs;
    return real<int (*)(int)>("fsync")(fd);
}
ssize_t pwrite64(int fd, const void *buffer, size_t count, off64_t offset)
{
    gBytesWritten += qint64(count);
    return real<ssize_t (*)(int, const void *, size_t, off64_t)>("pwrite64")(fd, buffer, count, offset);
}
ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    gBytesWritten += qint64(count);
    return real<ssize_t (*)(int, const void *, size_t, off_t)>("pwrite")(fd, buffer, count, offset);
}
}

int main(int argc, char **argv)
{
    gSamples = BenchLogs::takeSamplesOption(argc, argv, 600);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
