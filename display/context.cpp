// Display context: the main surface, the GUI-thread hand-off and the key queue.
#include "display/context.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <set>
#include <utility>

namespace kt::display {

DisplayContext& context() {
  static DisplayContext instance;
  return instance;
}

std::shared_ptr<Surface> main_surface() {
  DisplayContext& ctx = context();
  std::lock_guard lock(ctx.mutex);
  return ctx.main_surface;
}

void set_main_surface(std::shared_ptr<Surface> surface) {
  DisplayContext& ctx = context();
  std::shared_ptr<Surface> previous;
  {
    std::lock_guard lock(ctx.mutex);
    previous = std::exchange(ctx.main_surface, std::move(surface));
    ctx.main_surface_generation.fetch_add(1, std::memory_order_release);
  }
  // `previous` is let go of outside the lock. A drawing context that drew on it keeps it until
  // its next operation (or its end).
}

bool on_gui_thread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

namespace {
struct HandOff {
  std::mutex mutex;
  std::condition_variable finished_signal;
  bool finished = false;
  bool abandoned = false;
};

// The hand-offs other threads are waiting on, so that the end of the application wakes them.
std::mutex waiting_hand_offs_mutex;
std::set<HandOff*> waiting_hand_offs;

// Wakes every thread waiting for the GUI thread (the application is closing).
void wake_hand_off_waiters() {
  std::lock_guard registry(waiting_hand_offs_mutex);
  for (HandOff* hand_off : waiting_hand_offs) {
    { std::lock_guard lock(hand_off->mutex); }
    hand_off->finished_signal.notify_all();
  }
}
}  // namespace

bool run_on_gui_thread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || context().closing) return false;
  if (on_gui_thread()) {
    work();
    return true;
  }
  auto hand_off = std::make_shared<HandOff>();
  const std::function<void()>* work_pointer = &work;
  QMetaObject::invokeMethod(
      app,
      [hand_off, work_pointer] {
        std::unique_lock lock(hand_off->mutex);
        if (hand_off->abandoned) return;
        (*work_pointer)();  // the caller waits while this runs, so `work` is alive
        hand_off->finished = true;
        hand_off->finished_signal.notify_all();
      },
      Qt::QueuedConnection);
  {
    std::lock_guard registry(waiting_hand_offs_mutex);
    waiting_hand_offs.insert(hand_off.get());
  }
  std::unique_lock lock(hand_off->mutex);
  // Woken when the work is done, or by wake_key_waiters when the application closes.
  hand_off->finished_signal.wait(lock,
                                 [&] { return hand_off->finished || context().closing.load(); });
  const bool finished = hand_off->finished;
  hand_off->abandoned = !finished;
  lock.unlock();
  std::lock_guard registry(waiting_hand_offs_mutex);
  waiting_hand_offs.erase(hand_off.get());
  return finished;
}

namespace {
// Ends the GUI thread's key wait, from any thread.
void wake_gui_key_wait(int reason) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  const auto wake = [reason] {
    if (context().gui_key_loop != nullptr) context().gui_key_loop->exit(reason);
  };
  if (on_gui_thread()) {
    wake();
  } else {
    QMetaObject::invokeMethod(app, wake, Qt::QueuedConnection);
  }
}
}  // namespace

void queue_key_codes(std::initializer_list<int> codes) {
  DisplayContext& ctx = context();
  {
    std::lock_guard lock(ctx.key_mutex);
    for (int code : codes) ctx.keys.push_back(code);
  }
  ctx.key_arrived.notify_all();
  wake_gui_key_wait(kKeyLoopWoken);
}

void wake_key_waiters() {
  wake_hand_off_waiters();
  DisplayContext& ctx = context();
  { std::lock_guard lock(ctx.key_mutex); }
  ctx.key_arrived.notify_all();
  wake_gui_key_wait(kKeyLoopClosing);
}

}  // namespace kt::display
