#include "ModelAverages.h"

#include <algorithm>

Spread spreadOf(std::vector<qint64> values)
{
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const qint64 upper = values[middle];
    qint64 median = upper;
    if (values.size() % 2 == 0) {
        // After nth_element everything before the middle is not greater: the lower middle is their maximum.
        const qint64 lower = *std::max_element(values.begin(), values.begin() + middle);
        median = lower + (upper - lower + 1) / 2;
    }
    const auto [min, max] = std::minmax_element(values.begin(), values.end());
    return {*min, median, *max};
}

QVariantMap averagesRecord(qint64 modelID, const std::vector<Vote> &votes, int minMachines)
{
    QVariantMap record{{QStringLiteral("pb_modelid"), modelID}};
    if (votes.empty() || votes.size() < size_t(minMachines)) {
        record.insert(QStringLiteral("status"), QStringLiteral("toosmall"));
        return record;
    }
    record.insert(QStringLiteral("status"), QStringLiteral("ok"));
    const struct {
        const char *suffix;
        qint64 Vote::*figure;
    } figures[] = {
        {"capacity", &Vote::capacity},
        {"designcap", &Vote::designCapacity},
        {"volts", &Vote::voltage},
        {"cyclecount", &Vote::cycleCount},
    };
    std::vector<qint64> values(votes.size());
    for (const auto &figure : figures) {
        std::transform(votes.begin(), votes.end(), values.begin(),
                       [&](const Vote &vote) { return vote.*figure.figure; });
        const Spread spread = spreadOf(values);
        const QString suffix = QString::fromLatin1(figure.suffix);
        record.insert(QStringLiteral("min_") + suffix, spread.min);
        record.insert(QStringLiteral("med_") + suffix, spread.median);
        record.insert(QStringLiteral("max_") + suffix, spread.max);
    }
    return record;
}
