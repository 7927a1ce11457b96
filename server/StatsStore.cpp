#include "StatsStore.h"

#include "PostgresStatsStore.h"
#include "SqliteStatsStore.h"

std::unique_ptr<StatsStore> openStatsStore(const QString &location)
{
    if (location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"))) {
        auto store = std::make_unique<PostgresStatsStore>();
        return store->open(location) ? std::move(store) : nullptr;
    }
    auto store = std::make_unique<SqliteStatsStore>();
    return store->open(location) ? std::move(store) : nullptr;
}
