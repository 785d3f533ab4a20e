// Application entry of the display layer: creates the application object and the frame window,
// builds the menu, starts the program's main thread and processes window events.
#pragma once

#include <functional>
#include <string>

namespace kt::display {

struct ApplicationOptions {
  // Size of the main window's surface in pixels; 0 takes the screen's resolution.
  int screen_width = 0, screen_height = 0;
  // The program file whose name (without directory and extension) is the frame's caption;
  // empty takes the running executable.
  std::string program_path;
};

// Runs the application: the frame window with its menu bar (built by `build_menu` on the GUI
// thread; false ends the program with an initialisation error), then `startup_sequence` on the
// program's main thread. When the sequence returns, the end-of-program query is shown. Returns
// the application's exit code once the frame window has closed.
int run_application(int& argc, char** argv, const ApplicationOptions& options,
                    std::function<bool()> build_menu, std::function<void()> startup_sequence);

// Surface size used by frame windows made from now on (0, 0: the screen's resolution).
void set_screen_size_override(int width, int height);

}  // namespace kt::display

namespace kt::display {

// A window-less graphics session for programs without a frame (the batch runner's pictures,
// benchmarks): makes the application object on the "offscreen" platform unless one exists.
// While it lives, create_offscreen_main_window and the drawing operations can be used.
class OffscreenSession {
 public:
  OffscreenSession();
  ~OffscreenSession();
  OffscreenSession(const OffscreenSession&) = delete;
  OffscreenSession& operator=(const OffscreenSession&) = delete;

 private:
  struct State;
  State* state_ = nullptr;
};

}  // namespace kt::display
