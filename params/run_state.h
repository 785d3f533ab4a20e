// What the program is doing with its Parameter set: nothing, a calculation (starting, running,
// stopping) or a help or about window shown over the page. Entering a state is a
// compare-and-exchange from idle, so "may this start?" has one answer however many threads ask
// at once: a command enters its state from idle or does not run. A Stop request belongs to the
// calculation under way: it is taken only while one is starting or running, and it goes with
// that calculation, so a Stop chosen while nothing runs does nothing and never cuts a later run
// short. State and request live in one atomic word, so no request can fall between a run's end
// and the next run's start.
#pragma once

#include <atomic>
#include <cstdint>

namespace kt {

enum class RunState : std::uint8_t {
  idle,
  starting,     // a calculation was accepted by its command; the run has not checked its inputs
  running,      // the run checked its inputs and is stepping
  stopping,     // the run has left its loop: files are being closed, the outcome told
  help_shown,   // the help window is shown
  about_shown,  // the about window is shown
};

class RunStateMachine {
 public:
  RunState state() const { return state_of(word_.load()); }
  bool idle() const { return state() == RunState::idle; }
  // True while a calculation is under way (starting, running or stopping).
  bool calculating() const {
    const RunState s = state();
    return s == RunState::starting || s == RunState::running || s == RunState::stopping;
  }
  // True while Stop has something to stop: a calculation starting or running.
  bool stoppable() const { return is_stoppable(state()); }

  // The one test of "may this start?": idle becomes `next`; false (nothing changed) when the
  // program is doing anything else.
  bool try_enter(RunState next) { return advance(RunState::idle, next); }
  // `from` becomes `to` (a pending Stop stays with the calculation); false when the state is
  // not `from`.
  bool advance(RunState from, RunState to) {
    std::uint8_t word = word_.load();
    for (;;) {
      if (state_of(word) != from) return false;
      const std::uint8_t next = static_cast<std::uint8_t>(to) | (word & kStopBit);
      if (word_.compare_exchange_weak(word, next)) return true;
    }
  }
  // Back to idle, by whoever entered the state it leaves; a Stop not taken goes with it.
  void leave() { word_.store(static_cast<std::uint8_t>(RunState::idle)); }

  // Stop: asks the calculation that is starting or running to end after its step. False, and
  // nothing is kept, when none is.
  bool request_stop() {
    std::uint8_t word = word_.load();
    for (;;) {
      if (!is_stoppable(state_of(word))) return false;
      if (word_.compare_exchange_weak(word, static_cast<std::uint8_t>(word | kStopBit))) {
        return true;
      }
    }
  }
  bool stop_requested() const { return (word_.load() & kStopBit) != 0; }
  // True once for each request.
  bool take_stop_request() {
    return (word_.fetch_and(static_cast<std::uint8_t>(~kStopBit)) & kStopBit) != 0;
  }

 private:
  static constexpr std::uint8_t kStopBit = 0x80;
  static RunState state_of(std::uint8_t word) {
    return static_cast<RunState>(word & static_cast<std::uint8_t>(~kStopBit));
  }
  static bool is_stoppable(RunState s) { return s == RunState::starting || s == RunState::running; }

  std::atomic<std::uint8_t> word_{static_cast<std::uint8_t>(RunState::idle)};
};

}  // namespace kt
