#include "RequestFields.h"

#include <charconv>

namespace RequestFields {
namespace {
// Longer than any value the client sends (model identifiers, numbers, the flags).
constexpr size_t maximumLength = 64;
} // namespace

bool text(const httplib::Headers &headers, const char *name, std::optional<std::string> &value, std::string &error)
{
    value.reset();
    const auto [first, end] = headers.equal_range(name);
    if (first == end)
        return true;
    if (std::next(first) != end) {
        error = std::string(name) + " sent more than once";
        return false;
    }
    const std::string &found = first->second;
    if (found.size() > maximumLength) {
        error = std::string(name) + " is too long";
        return false;
    }
    if (found != "(null)")
        value = found;
    return true;
}

bool integer(const httplib::Headers &headers, const char *name, qint64 min, qint64 max, std::optional<qint64> &value,
             std::string &error)
{
    value.reset();
    std::optional<std::string> found;
    if (!text(headers, name, found, error))
        return false;
    if (!found)
        return true;
    qint64 number = 0;
    const char *end = found->data() + found->size();
    const auto [stop, failure] = std::from_chars(found->data(), end, number);
    if (failure != std::errc() || stop != end || found->empty()) {
        error = std::string(name) + " is not a whole decimal number"; // the value itself is not echoed into logs
        return false;
    }
    if (number < min || number > max) {
        error = std::string(name) + " must be between " + std::to_string(min) + " and " + std::to_string(max);
        return false;
    }
    value = number;
    return true;
}

} // namespace RequestFields
