// Long calls of the compiled module: the work runs on its own thread while Python waits with
// the GIL released, and Ctrl-C stops it.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace kt::python {

// Runs `work` on its own thread while the caller waits with the GIL released. Every 50 ms the
// waiting thread takes the GIL to look for Ctrl-C (and to call `poll`); a pending Python error
// calls `stop` once, the thread is joined, and the error is raised. No thread outlives the call.
inline void run_interruptible(const std::function<void()>& work, const std::function<void()>& stop,
                              const std::function<void()>& poll = {}) {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr failure;
  std::optional<pybind11::error_already_set> pending;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    finished.notify_all();
  });
  {
    pybind11::gil_scoped_release release;
    std::unique_lock<std::mutex> guard(lock);
    while (!finished.wait_for(guard, std::chrono::milliseconds(50), [&] { return done; })) {
      if (pending) continue;
      guard.unlock();
      bool stop_now = false;
      {
        pybind11::gil_scoped_acquire acquire;
        try {
          if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
          if (poll) poll();
        } catch (pybind11::error_already_set& e) {
          pending = std::move(e);
          stop_now = true;
        }
      }
      if (stop_now) stop();
      guard.lock();
    }
  }
  worker.join();
  if (pending) throw *pending;
  if (failure) std::rethrow_exception(failure);
  if (poll) poll();
}

}  // namespace kt::python
