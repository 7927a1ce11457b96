#pragma once

#include <QString>
#include <functional>

// The one logging path: every console message and standard-error report is one plain line on
// standard error. Tests install a sink to capture the lines instead.
namespace Console {

void line(const QString &text);

using Sink = std::function<void(const QString &line)>;
// Replaces the output; an empty sink restores standard error. Returns the previous sink.
Sink setSink(Sink sink);

// Sends Qt's own messages (warnings of its plugins, image and PDF readers ...) down the same path.
void routeQtMessages();

} // namespace Console
