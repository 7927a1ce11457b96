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
};

// Generous bounds around what laptop batteries report; anything outside is garbage.
constexpr FigureRule figureRules[] = {
    {"CELLW_CAPACITY", 0, 30000, &BattSample::capacity},
    {"CELLW_CURRENT", 0, 30000, &BattSample::current},
    {"CELLW_AMPERAGE", -30000, 30000, &BattSample::amperage},
    {"CELLW_VOLTAGE", 0, 30000, &BattSample::voltage},
    {"CELLW_DESIGNCAP", 0, 30000, &BattSample::designCapacity},
    {"CELLW_CYCLECOUNT", 0, 100000, &BattSample::cycleCount},
};

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
    if (!RequestFields::text(headers, "CELLW_FLAGS", upload.sample.flags, error))
        return std::nullopt;
    if (upload.sample.flags && !isDigits(*upload.sample.flags)) {
        error = "CELLW_FLAGS is not a string of digits";
        return std::nullopt;
    }
    return upload;
}
