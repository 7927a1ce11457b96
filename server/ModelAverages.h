#pragma once

#include <QVariantMap>
#include <QtGlobal>
#include <vector>

// What one machine contributes to its model's figures: its latest complete sample.
struct Vote {
    qint64 capacity;       // mAh
    qint64 designCapacity; // mAh
    qint64 voltage;        // mV
    qint64 cycleCount;
};

struct Spread {
    qint64 min;
    qint64 median; // of an even count: the mean of the two middle values, halves rounded up
    qint64 max;
};

// values must not be empty.
Spread spreadOf(std::vector<qint64> values);

// The averages record of one model: "pb_modelid", "status" and, when at least minMachines machines
// voted, the minimum, median and maximum of each figure. Below that the status is "toosmall" and no
// figures are given, so a handful of machines cannot be told apart.
QVariantMap averagesRecord(qint64 modelID, const std::vector<Vote> &votes, int minMachines);
