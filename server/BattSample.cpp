#include "BattSample.h"

#include "RequestFields.h"

#include <algorithm>
#include <limits>

namespace {

struct FigureRule {
    const char *field;
    qint64 min;
    qint64 max;
    std::optional<qint64> BattSample::*member;
    bool boundedByDesign = false; // also at most twice the design capacity, when that came too
};

// What a laptop battery can report. An upload with a figure outside these bounds is refused whole,
// so one absurd sample cannot skew a model's figures for everybody. The README lists them.
constexpr FigureRule figureRules[] = {
    {"CELLW_CAPACITY", 100, 200000, &BattSample::capacity, true},  // mAh
    {"CELLW_CURRENT", 0, 400000, &BattSample::current, true},      // mAh
    {"CELLW_AMPERAGE", -30000, 30000, &BattSample::amperage},      // mA
    {"CELLW_VOLTAGE", 2500, 30000, &BattSample::voltage},          // mV
    {"CELLW_DESIGNCAP", 100, 200000, &BattSample::designCapacity}, // mAh
    {"CELLW_CYCLECOUNT", 0, 100000, &BattSample::cycleCount},
};
// No battery holds, or charges to, more than twice what it was designed for.
constexpr qint64 maxTimesDesignCapacity = 2;

bool isDigits(const std::string &text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<BattUpload> parseBattUpload(const httplib::Headers &headers, std::string &error)
{
    BattUpload upload;
    if (!RequestFields::integer(headers, "CELLW_MACHINECODE", std::numeric_limits<qint32>::min(),
                                std::numeric_limits<qint32>::max(), upload.machineID, error))
        return std::nullopt;
    for (const FigureRule &rule : figureRules) {
        if (!RequestFields::integer(headers, rule.field, rule.min, rule.max, upload.sample.*rule.member, error))
            return std::nullopt;
    }
    const std::optional<qint64> &design = upload.sample.designCapacity;
    for (const FigureRule &rule : figureRules) {
        const std::optional<qint64> &charge = upload.sample.*rule.member;
        if (rule.boundedByDesign && charge && design && *charge > maxTimesDesignCapacity * *design) {
            error = std::string(rule.field) + " is more than twice CELLW_DESIGNCAP";
            return std::nullopt;
        }
    }
    if (!RequestFields::text(headers, "CELLW_FLAGS", upload.sample.flags, error))
        return std::nullopt;
    if (upload.sample.flags && !isDigits(*upload.sample.flags)) {
        error = "CELLW_FLAGS is not a string of digits";
        return std::nullopt;
    }
    return upload;
}
