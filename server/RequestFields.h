#pragma once

#include <QtGlobal>
#include <httplib.h>
#include <optional>
#include <string>

// Values of the CELLW_* request header fields. The client sends "(null)" for a value it does not
// have, which reads like an absent field. A field sent twice, over-long or not parsing is malformed:
// the reader returns false and says why in error.
namespace RequestFields {

bool text(const httplib::Headers &headers, const char *name, std::optional<std::string> &value, std::string &error);

// A decimal integer within [min, max].
bool integer(const httplib::Headers &headers, const char *name, qint64 min, qint64 max, std::optional<qint64> &value,
             std::string &error);

} // namespace RequestFields
