#pragma once

#include <functional>

// Delivers SIGINT, SIGTERM and SIGHUP to the handler on the Qt main thread, where it may quit the event loop.
namespace UnixSignals {

void onTermination(std::function<void(int signal)> handler);

} // namespace UnixSignals
