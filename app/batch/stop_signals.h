// Ctrl-C (SIGINT) and SIGTERM, which a cluster's scheduler sends before it kills a task, stop
// every long command of the batch runner the same way: they set one flag that the runs read
// after each step, so the runs under way end after their step and nothing is half written.
#pragma once

#include <atomic>

namespace kt::batch {

// Installs the handlers of SIGINT and SIGTERM (once) and returns the flag they set.
std::atomic<bool>& catch_stop_signals();

// The flag alone, false until a signal arrives after catch_stop_signals.
const std::atomic<bool>& stop_requested();

}  // namespace kt::batch
