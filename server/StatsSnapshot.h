#pragma once

#include <optional>
#include <string>

class StatsStore;

// The averages and the model list as every request gets them, made from the store now and then and
// never changed afterwards: one model's figures change little from one upload to the next.
struct StatsSnapshot {
    std::string averages; // property-list reply bodies
    std::string models;
};

// What a server that has read nothing serves: no models.
StatsSnapshot emptyStatsSnapshot();

// nullopt when the store could not be read.
std::optional<StatsSnapshot> makeStatsSnapshot(StatsStore &store, int minMachines);
