// The kestrium program: the display layer makes the frame window and the menu on the GUI thread
// and runs the start-up sequence on the program's main thread.
#include "app/application.h"
#include "app/data_files.h"
#include "app/menu.h"
#include "display/application.h"

int main(int argc, char** argv) {
  // The application's records live until the process ends: the program's main thread waits on
  // them for ever and is never joined.
  auto* app = new kt::Application(kt::executable_directory(argc > 0 ? argv[0] : nullptr));
  kt::display::ApplicationOptions options;
  const int code = kt::display::run_application(
      argc, argv, options, [app] { return kt::build_menu(*app); },
      [app] { kt::startup_sequence(*app); });
  // Closed by the frame's close box or by Exit: a run still under way ends and closes its files.
  app->finish_calculation();
  return code;
}
