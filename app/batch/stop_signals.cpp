#include "app/batch/stop_signals.h"

#include <csignal>

namespace kt::batch {
namespace {

std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "a signal handler may only touch a lock-free flag");

extern "C" void on_stop_signal(int) {
  stop_flag.store(true);
}

}  // namespace

std::atomic<bool>& catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return stop_flag;
}

const std::atomic<bool>& stop_requested() {
  return stop_flag;
}

}  // namespace kt::batch
