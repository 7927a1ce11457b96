#pragma once

// Synthetic battery logs for benchmarks and demos: the simulated battery read once per gauge reading
// during runs of about eight hours, with pauses between them. Each run is framed by start and stop
// markers and carries the state events the monitor writes (initial states, plug, unplug, full,
// charging). Shared by cellwise-genlog and the log benchmarks.

#include "CWLog.h"
#include "Console.h"
#include "PropertyListWriter.h"
#include "SimulatedBattery.h"
#include "SqliteHandles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace LogGenerator {

struct Options {
    qint64 samples = 3'000'000;
    double months = 14;
    qint64 endTime = 0; // Unix seconds of the last sample; 0 means now
    // Classify as the launch of the last run would have: that run's own samples stay unclassified.
    bool classify = false;
};

struct Summary {
    qint64 samples = 0;
    qint64 events = 0;
    qint64 firstTime = 0; // Unix seconds
    qint64 lastTime = 0;  // Unix seconds
};

namespace detail {

constexpr double kSecondsPerMonth = 30.4375 * 86400;
constexpr double kRunSeconds = 8 * 3600;
enum : int { kStarted = 1, kStopped = 2 };

struct StateEvent {
    const char *key;
    int whenTrue;
    int whenFalse;
    const char *dataKey; // snapshot key whose value the event carries when true, if any
};
// The monitor's four observed states in its order: adapter, battery, charging, full.
constexpr StateEvent kStateEvents[] = {{"ExternalConnected", 3, 4, nullptr},
                                       {"BatteryInstalled", 5, 6, "BatterySerialNumber"},
                                       {"IsCharging", 9, 10, nullptr},
                                       {"FullyCharged", 7, 8, nullptr}};

inline bool report(sqlite3 *db, const QString &what)
{
    Console::line(QStringLiteral("cellwise-genlog: ") + what + QStringLiteral(" failed: ")
                  + QString::fromUtf8(sqlite3_errmsg(db)));
    return false;
}

inline bool execute(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || report(db, QString::fromUtf8(sql));
}

inline Sqlite::Statement prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        report(db, sql);
    return Sqlite::Statement(statement);
}

inline void bindText(sqlite3_stmt *statement, int position, const QString &text)
{
    if (text.isNull()) {
        sqlite3_bind_null(statement, position);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Integers go in as integers, everything else as the text the log itself would store; both end up
// as what a logged sample holds.
inline void bindValue(sqlite3_stmt *statement, int position, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
        sqlite3_bind_int64(statement, position, value.toLongLong());
        break;
    default:
        bindText(statement, position, PropertyListWriter::valueText(value));
    }
}

class Writer {
public:
    explicit Writer(sqlite3 *db)
        : _db(db)
        , _sample(prepare(db, sampleInsert()))
        , _event(prepare(db, QStringLiteral("INSERT INTO eventlog (eventtype, time, data) VALUES (?, ?, ?)")))
    {
    }

    bool isValid() const { return _sample && _event; }
    qint64 events() const { return _events; }

    bool writeSample(qint64 time, int significance, const QVariantMap &snapshot)
    {
        const Sqlite::StatementUse statement(_sample); // bindings start cleared: absent keys stay NULL
        sqlite3_bind_int(statement, 1, significance);
        sqlite3_bind_int64(statement, 2, time);
        for (auto entry = snapshot.cbegin(); entry != snapshot.cend(); ++entry) {
            if (const int position = columnPositions().value(entry.key()))
                bindValue(statement, position, entry.value());
        }
        return step(statement, "sample insert");
    }

    bool writeEvent(int type, qint64 time, const QString &data = QString())
    {
        const Sqlite::StatementUse statement(_event);
        sqlite3_bind_int(statement, 1, type);
        sqlite3_bind_int64(statement, 2, time);
        bindText(statement, 3, data);
        ++_events;
        return step(statement, "event insert");
    }

    // The events of the states that differ from the previous snapshot (all of them at a run's start).
    bool writeStateEvents(qint64 time, const QVariantMap &snapshot, const QVariantMap *previous)
    {
        for (const StateEvent &state : kStateEvents) {
            const QVariant value = snapshot.value(QLatin1String(state.key));
            if (previous && previous->value(QLatin1String(state.key)) == value)
                continue;
            const bool on = value.toBool();
            const QString data =
                on && state.dataKey ? snapshot.value(QLatin1String(state.dataKey)).toString() : QString();
            if (!writeEvent(on ? state.whenTrue : state.whenFalse, time, data))
                return false;
        }
        return true;
    }

private:
    // Parameter position of each sample column (after significance and time).
    static const QHash<QString, int> &columnPositions()
    {
        static const QHash<QString, int> positions = [] {
            QHash<QString, int> map;
            for (const QString &column : CWLog::sampleColumns())
                map.insert(column, int(map.size()) + 3);
            return map;
        }();
        return positions;
    }

    static QString sampleInsert()
    {
        const QStringList &columns = CWLog::sampleColumns();
        return QStringLiteral("INSERT INTO battlog (significance, time, ") + columns.join(QStringLiteral(", "))
               + QStringLiteral(") VALUES (?, ?") + QStringLiteral(", ?").repeated(columns.size()) + QLatin1Char(')');
    }

    bool step(sqlite3_stmt *statement, const char *what)
    {
        return sqlite3_step(statement) == SQLITE_DONE || report(_db, QString::fromLatin1(what));
    }

    sqlite3 *_db;
    Sqlite::Statement _sample;
    Sqlite::Statement _event;
    qint64 _events = 0;
};

// Writes the runs' samples and events; false when writing failed.
inline bool writeRuns(Writer &writer, const Options &options, Summary &summary)
{
    const double span = options.months * kSecondsPerMonth;
    const double spacing = std::min(SimulatedBattery::kReadingInterval, span / double(options.samples));
    const qint64 runs =
        std::clamp<qint64>(std::llround(double(options.samples) * spacing / kRunSeconds), 1, options.samples);
    const double pause = runs > 1 ? (span - double(options.samples) * spacing) / double(runs - 1) : 0.0;
    const qint64 end = options.endTime ? options.endTime : QDateTime::currentSecsSinceEpoch();
    const double start = double(end) - (double(runs - 1) * pause + double(options.samples - 1) * spacing);

    CWLog::SignificanceClassifier classifier;
    qint64 sample = 0;
    for (qint64 run = 0; run < runs; ++run) {
        const qint64 runEnd = options.samples * (run + 1) / runs;
        // What the launch of the last run classified: everything before it, in one pass.
        const bool classified = options.classify && run < runs - 1;
        QVariantMap previous;
        qint64 time = 0;
        for (bool first = true; sample < runEnd; ++sample, first = false) {
            // The battery's own clock runs only while the machine does, so runs continue its cycle.
            const double onSeconds = double(sample) * spacing;
            time = std::llround(start + double(run) * pause + onSeconds);
            const QVariantMap snapshot = SimulatedBattery::snapshotAt(onSeconds);
            const int significance = classified ? int(classifier.classify(double(time))) : 0;
            if ((first && !writer.writeEvent(kStarted, time)) || !writer.writeSample(time, significance, snapshot)
                || !writer.writeStateEvents(time, snapshot, first ? nullptr : &previous))
                return false;
            previous = snapshot;
            if (summary.samples++ == 0)
                summary.firstTime = time;
        }
        if (!writer.writeEvent(kStopped, time + 1))
            return false;
        summary.lastTime = time;
    }
    return true;
}

} // namespace detail

// Writes a new log at path (an existing file is never touched); nullopt with a console line on failure.
inline std::optional<Summary> generate(const QString &path, const Options &options)
{
    using namespace detail;
    if (options.samples < 1 || !(options.months > 0)) {
        Console::line(QStringLiteral("cellwise-genlog: needs at least one sample and a positive span"));
        return std::nullopt;
    }
    if (QFileInfo::exists(path)) {
        Console::line(QStringLiteral("cellwise-genlog: ") + path + QStringLiteral(" exists; choose a new file"));
        return std::nullopt;
    }
    if (!CWLog::initWithFile(path))
        return std::nullopt;

    sqlite3 *rawDb = nullptr;
    const int status = sqlite3_open(path.toUtf8().constData(), &rawDb);
    Sqlite::Connection db(rawDb);
    if (status != SQLITE_OK) {
        report(rawDb, QStringLiteral("opening ") + path);
        return std::nullopt;
    }
    // A scratch file: speed matters more than surviving a crash halfway.
    if (!execute(rawDb, "PRAGMA journal_mode = OFF") || !execute(rawDb, "PRAGMA synchronous = OFF")
        || !execute(rawDb, "BEGIN"))
        return std::nullopt;

    Summary summary;
    {
        Writer writer(rawDb);
        if (!writer.isValid() || !writeRuns(writer, options, summary))
            return std::nullopt;
        summary.events = writer.events();
    }
    if (!execute(rawDb, "COMMIT"))
        return std::nullopt;
    return summary;
}

} // namespace LogGenerator
