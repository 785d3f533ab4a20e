#include "engine/parallel_runner.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <vector>

namespace kt {

int max_jobs() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores * 4, 4, 256);
}

int default_jobs() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, max_jobs());
}

int capped_jobs(int asked) {
  return asked <= 0 ? default_jobs() : std::min(asked, max_jobs());
}

namespace {

// The threads wait here until all have started; abandoned, they return without working.
struct Gate {
  std::mutex lock;
  std::condition_variable opened;
  bool open = false, abandoned = false;

  void open_with(bool abandon) {
    {
      std::lock_guard<std::mutex> guard(lock);
      open = true;
      abandoned = abandon;
    }
    opened.notify_all();
  }
  // False when abandoned.
  bool wait() {
    std::unique_lock<std::mutex> guard(lock);
    opened.wait(guard, [&] { return open; });
    return !abandoned;
  }
};

}  // namespace

std::string run_in_parallel(const ParallelRun& run, const std::function<void()>& work) {
  const int jobs = std::clamp(run.jobs, 1, max_jobs());
  const ThreadStarter start = run.start_thread ? run.start_thread : [](std::function<void()> body) {
    return std::thread(body);
  };
  Gate gate;
  auto gated_work = [&] {
    if (gate.wait()) work();
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(jobs));
  try {
    for (int j = 1; j < jobs; ++j) threads.push_back(start(gated_work));
  } catch (const std::system_error& e) {
    gate.open_with(true);
    for (std::thread& t : threads) t.join();
    return "cannot start " + std::to_string(jobs) + " worker threads (" + e.what() +
           "); no run was made and no file was changed; ask for fewer jobs";
  }
  // The threads are joined whatever the work does: none outlives the call.
  struct Joiner {
    Gate& gate;
    std::vector<std::thread>& threads;
    bool abandon = true;
    ~Joiner() {
      if (abandon) gate.open_with(true);
      for (std::thread& t : threads) t.join();
    }
  } joiner{gate, threads};
  if (run.before_work) run.before_work();
  joiner.abandon = false;
  gate.open_with(false);
  work();
  return {};
}

}  // namespace kt
