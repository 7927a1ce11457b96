#include "StatsSnapshot.h"

#include "ModelNames.h"
#include "PropertyListWriter.h"
#include "StatsStore.h"

#include <algorithm>

namespace {

std::string propertyList(const QVariantList &records)
{
    return PropertyListWriter::xmlData(records).toStdString();
}

QVariantList modelRecords(std::vector<StatsStore::Model> models)
{
    // The menu lists models by name.
    std::stable_sort(models.begin(), models.end(), [](const StatsStore::Model &a, const StatsStore::Model &b) {
        return friendlyModelName(a.code).compare(friendlyModelName(b.code), Qt::CaseInsensitive) < 0;
    });
    QVariantList records;
    for (const StatsStore::Model &model : models) {
        records.append(QVariantMap{
            {QStringLiteral("pb_modelid"), model.id},
            {QStringLiteral("name"), friendlyModelName(model.code)},
            {QStringLiteral("code"), model.code},
        });
    }
    return records;
}

} // namespace

StatsSnapshot emptyStatsSnapshot()
{
    return {propertyList({}), propertyList({})};
}

std::optional<StatsSnapshot> makeStatsSnapshot(StatsStore &store, int minMachines)
{
    const auto votes = store.votesByModel();
    auto models = store.models();
    if (!votes || !models)
        return std::nullopt;
    // Only models that some machine's upload counts for: registering alone must not grow the lists.
    QVariantList averages;
    for (const auto &[modelID, modelVotes] : *votes) {
        if (!modelVotes.empty())
            averages.append(averagesRecord(modelID, modelVotes, minMachines));
    }
    std::erase_if(*models, [&](const StatsStore::Model &model) {
        const auto found = votes->find(model.id);
        return found == votes->end() || found->second.empty();
    });
    return StatsSnapshot{propertyList(averages), propertyList(modelRecords(*models))};
}
