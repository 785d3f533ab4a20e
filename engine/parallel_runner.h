// The one way the engines run work on several threads: the sweep, the study, the model runs of
// the fit and the threshold, and the Python module. Every thread is started before any work
// begins; when one cannot be started (the process or user limit on threads, memory) the threads
// already started are joined without doing any work and the caller gets the problem as a text,
// never an exception, so that it can say so and leave every file as it was.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace kt {

// Starts a thread running `body`; throws std::system_error when it cannot (tests replace it).
using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

// The most threads any command or call uses: four per core, at least 4, at most 256.
int max_jobs();

// The threads used when none are asked for: one per core (at least 1, at most max_jobs()).
int default_jobs();

// The threads for an asked number: default_jobs() for 0 or less, else `asked` capped at
// max_jobs().
int capped_jobs(int asked);

struct ParallelRun {
  int jobs = 1;                // threads in all, this one included; capped at max_jobs()
  ThreadStarter start_thread;  // empty: std::thread
  // Called on this thread once every thread has started and before any runs `work`.
  std::function<void()> before_work;
};

// Runs `work` on `run.jobs` threads at once, this one among them, and returns when all have
// returned. Empty on success; otherwise why the threads could not be started (then `work` and
// `before_work` did not run at all).
std::string run_in_parallel(const ParallelRun& run, const std::function<void()>& work);

}  // namespace kt
