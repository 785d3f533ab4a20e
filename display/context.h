// The display layer's own state: the main window's surface, the key queue, the screen-size
// override and the way other threads hand work to the GUI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "display/surface.h"

class QEventLoop;

namespace kt::display {

struct DisplayContext {
  std::mutex mutex;  // guards the fields below up to the key queue
  std::shared_ptr<Surface> main_surface;
  // Counts the changes of main_surface (written under `mutex`, read without it): a drawing
  // context takes the main surface anew when it has changed.
  std::atomic<std::uint64_t> main_surface_generation{0};
  int screen_width_override = 0, screen_height_override = 0;

  std::atomic<bool> closing{false};
  std::atomic<bool> frame_exists{false};    // a frame window holds the main window
  std::atomic<std::int16_t> main_state{4};  // state of the main window inside the frame

  std::mutex key_mutex;  // guards the key queue
  std::condition_variable key_arrived;
  std::deque<int> keys;
  std::atomic<int> key_readers{0};  // read_key calls waiting now

  // GUI thread only.
  QEventLoop* gui_key_loop = nullptr;
};

// The one context of the process. Destroyed at the end of the process, after every thread that
// draws has been joined (the application joins its own; the main surface is let go when the
// frame or the offscreen window goes).
DisplayContext& context();

// The main window's surface, or null when there is none.
std::shared_ptr<Surface> main_surface();
void set_main_surface(std::shared_ptr<Surface> surface);

// True on the thread that owns the application object (or when there is none).
bool on_gui_thread();

// Runs `work` on the GUI thread and waits for it; false (work not run) when there is no
// application or it is closing.
bool run_on_gui_thread(const std::function<void()>& work);

// Exit codes of the GUI thread's key-wait loop.
inline constexpr int kKeyLoopWoken = 1, kKeyLoopClosing = 2;

// Queues the codes of one key for read_key (character, or 0/224 then the scan code).
void queue_key_codes(std::initializer_list<int> codes);
// Wakes every read_key wait and every thread waiting for the GUI thread (the application is
// closing; set `closing` first).
void wake_key_waiters();

}  // namespace kt::display
