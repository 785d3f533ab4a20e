// Application entry of the display layer: creates the application object and the frame window,
// builds the menu, runs the program's main thread and processes window events until the frame
// closes; every thread it starts is joined before the application object goes.
#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace kt::display {

struct ApplicationOptions {
  // Size of the main window's surface in pixels; 0 takes the screen's resolution.
  int screen_width = 0, screen_height = 0;
  // The program file whose name (without directory and extension) is the frame's caption;
  // empty takes the running executable.
  std::string program_path;
};

// The toolkit's application object, made first in `main` and destroyed last, so that whatever
// the program made to draw with is gone before it.
class GuiApplication {
 public:
  GuiApplication(int& argc, char** argv);
  ~GuiApplication();
  GuiApplication(const GuiApplication&) = delete;
  GuiApplication& operator=(const GuiApplication&) = delete;

  // Runs the application: the frame window with its menu bar (built by `build_menu` on the GUI
  // thread; false ends the program with an initialisation error), then `program_main` on the
  // program's main thread. Should that return on its own, the end-of-program query is shown.
  // Once the frame window has closed, `at_close` runs on the GUI thread (the program ends what
  // it has under way), the program's main thread is asked to stop through its stop token and is
  // joined. Returns the application's exit code.
  int run(const ApplicationOptions& options, const std::function<bool()>& build_menu,
          std::function<void(std::stop_token)> program_main,
          const std::function<void()>& at_close = {});

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A GuiApplication run, for programs whose records need not outlive the application object.
int run_application(int& argc, char** argv, const ApplicationOptions& options,
                    const std::function<bool()>& build_menu,
                    std::function<void(std::stop_token)> program_main,
                    const std::function<void()>& at_close = {});

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
