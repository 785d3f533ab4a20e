// The kestrium program: the display layer makes the frame window and the menu on the GUI thread
// and runs the start-up sequence on the program's main thread. The application object of the
// toolkit is made first and the program's records after it, so the records (and the threads
// they own) are gone before it; every thread is joined before main returns.
#include "app/application.h"
#include "app/data_files.h"
#include "app/dialog_words.h"
#include "app/menu.h"
#include "display/application.h"

int main(int argc, char** argv) {
  // Messages name a setting by the Experiment dialog's field that sets it.
  kt::use_dialog_words();
  kt::display::GuiApplication gui(argc, argv);
  kt::Application app(kt::executable_directory(argc > 0 ? argv[0] : nullptr));
  kt::display::ApplicationOptions options;
  // Closed by the frame's close box or by Exit: a run still under way ends and closes its files.
  return gui.run(
      options, [&app] { return kt::build_menu(app); },
      [&app](std::stop_token stop) { kt::startup_sequence(app, stop); },
      [&app] { app.finish_calculation(); });
}
