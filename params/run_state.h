// What the program is doing with its Parameter set: nothing, a calculation (starting, running,
// stopping) or a help or about window shown over the page. Entering a state is a
// compare-and-exchange from idle, so "may this start?" has one answer however many threads ask
// at once: a command enters its state from idle or does not run. A Stop request is kept apart from
// the state: it is pending until a run takes it after one of its steps (a Stop chosen while nothing
// runs ends the next run after its first step).
#pragma once

#include <atomic>

namespace kt {

enum class RunState {
  idle,
  starting,     // a calculation was accepted by its command; the run has not checked its inputs
  running,      // the run checked its inputs and is stepping
  stopping,     // the run has left its loop: files are being closed, the outcome told
  help_shown,   // the help window is shown
  about_shown,  // the about window is shown
};

class RunStateMachine {
 public:
  RunState state() const { return state_.load(); }
  bool idle() const { return state() == RunState::idle; }
  // True while a calculation is under way (starting, running or stopping).
  bool calculating() const {
    const RunState s = state();
    return s == RunState::starting || s == RunState::running || s == RunState::stopping;
  }

  // The one test of "may this start?": idle becomes `next`; false (nothing changed) when the
  // program is doing anything else.
  bool try_enter(RunState next) { return advance(RunState::idle, next); }
  // `from` becomes `to`; false when the state is not `from`.
  bool advance(RunState from, RunState to) { return state_.compare_exchange_strong(from, to); }
  // Back to idle, by whoever entered the state it leaves.
  void leave() { state_.store(RunState::idle); }

  // Stop: pending until a run takes it.
  void request_stop() { stop_requested_.store(true); }
  bool stop_requested() const { return stop_requested_.load(); }
  // True once for each request.
  bool take_stop_request() { return stop_requested_.exchange(false); }

 private:
  std::atomic<RunState> state_{RunState::idle};
  std::atomic<bool> stop_requested_{false};
};

}  // namespace kt
