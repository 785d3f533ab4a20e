// What the compiled parts of the kestrium package share: NumPy arrays that own their vectors,
// and long calls that release the GIL and stop on Ctrl-C.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace kt::python {

template <class T>
pybind11::array_t<T> to_array(std::vector<T>&& values) {
  auto* owned = new std::vector<T>(std::move(values));
  pybind11::capsule owner(owned, [](void* v) { delete static_cast<std::vector<T>*>(v); });
  return pybind11::array_t<T>(static_cast<pybind11::ssize_t>(owned->size()), owned->data(), owner);
}

// Runs `work` on its own thread while the caller waits with the GIL released. Every 50 ms the
// waiting thread takes the GIL to look for Ctrl-C (and to call `poll`); a pending Python error
// calls `stop` once, the thread is joined, and the error is raised. No thread outlives the call.
inline void run_interruptible(const std::function<void()>& work, const std::function<void()>& stop,
                              const std::function<void()>& poll = {}) {
  namespace py = pybind11;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr failure;
  std::optional<py::error_already_set> pending;
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
    py::gil_scoped_release release;
    std::unique_lock<std::mutex> guard(lock);
    while (!finished.wait_for(guard, std::chrono::milliseconds(50), [&] { return done; })) {
      if (pending) continue;
      guard.unlock();
      bool stop_now = false;
      {
        py::gil_scoped_acquire acquire;
        try {
          if (PyErr_CheckSignals() != 0) throw py::error_already_set();
          if (poll) poll();
        } catch (py::error_already_set& e) {
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

// Adds the parameter-study calls to the module.
void bind_study(pybind11::module_& m);

}  // namespace kt::python
