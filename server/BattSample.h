#pragma once

#include <QtGlobal>
#include <httplib.h>
#include <optional>
#include <string>

// One uploaded battery reading; nullopt is a value the client did not have.
struct BattSample {
    std::optional<qint64> capacity;       // mAh at full charge (the battery's MaxCapacity)
    std::optional<qint64> current;        // mAh, present charge
    std::optional<qint64> amperage;       // mA, negative while discharging
    std::optional<qint64> voltage;        // mV
    std::optional<qint64> designCapacity; // mAh
    std::optional<qint64> cycleCount;
    std::optional<std::string> flags; // digits, sent unchanged by the client

    // Whether it carries the four figures the per-model averages use.
    bool isComplete() const { return capacity && designCapacity && voltage && cycleCount; }
};

struct BattUpload {
    std::optional<qint64> machineID; // -1 or absent: the machine is not registered
    BattSample sample;
};

// Reads the CELLW_* fields of an upload; every value must be a whole decimal number that a laptop
// battery can report.
// nullopt with a reason when any value is malformed, so nothing of it is stored.
std::optional<BattUpload> parseBattUpload(const httplib::Headers &headers, std::string &error);
