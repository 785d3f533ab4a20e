// The parameter-file commands of the File menu: Open..., Save..., Save as... and Default
// Parameters..., with the open-file chooser that Open... and Save as... share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "display/display.h"
#include "params/parameter_file.h"
#include "params/parameter_set.h"
#include "params/run_state.h"

namespace kt {

inline constexpr std::string_view kChooserTitle = "Open a File";
inline constexpr std::string_view kChooserInitialName = "*.par";
// The longest path the current-file location can hold.
inline constexpr std::size_t kMaxParameterFilePath = kParameterFilePathLength - 1;

// The platform services the commands use; tests replace them.
struct FileCommandServices {
  // Shows the open-file chooser; returns the full path chosen or typed, or `initial_name`
  // unchanged when the user cancelled.
  std::function<std::string(std::string_view title, std::string_view initial_name)>
      open_file_chooser = display::show_open_file_chooser;
  // A modal message box the user must acknowledge.
  std::function<void(std::string_view title, std::string_view text)> show_message =
      display::show_message;
  // Told the values that the current file holds after a read or a write succeeded (called with
  // the Parameter set's lock held), so that unsaved changes can be recognised.
  std::function<void(const ParameterSet& stored)> parameters_stored = [](const ParameterSet&) {};
};

// The records the commands work on.
struct FileCommandContext {
  SharedParameters& parameters;
  ParameterFileLocation& location;
  const RunStateMachine& run_state;
  FileCommandServices services{};
};

enum class ChooserStatus {
  chosen,     // a usable file name, as a full path of at most 99 characters
  cancelled,  // the user cancelled, or chose nothing usable (empty, a wildcard, a directory)
  too_long,   // the path does not fit the current-file location; the user was told
};

struct ChooserResult {
  ChooserStatus status = ChooserStatus::cancelled;
  std::string path;  // full path when status is chosen
};

// Shows the chooser (title "Open a File", first filter " PAR Files (*.par)", initial name
// "*.par") and checks the choice. Creates no file.
ChooserResult choose_parameter_file(const FileCommandServices& services);

// While the help or about window is shown no command runs; while a calculation runs, Open... and
// Default Parameters... do not (the run uses the Parameter set) but the saves write the set as
// it stands. A command that does not run tells the user why.

// Reads the file at `path` into the Parameter set. Does nothing unless the program is
// idle. On
// success the file becomes the current parameter file (full path); on failure the user is shown
// the problem and neither the Parameter set nor the current file changes.
bool open_parameter_file(const std::string& path, FileCommandContext& context);
// Writes the Parameter set to the current parameter file, unless that file exists and cannot be
// read (it may hold the user's values): then the user is told and nothing is written.
bool save_parameter_file(FileCommandContext& context);
// Writes the Parameter set to `path`; on success that file
// becomes the current parameter file (full path).
bool save_parameter_file_as(const std::string& path, FileCommandContext& context);

// The menu commands; the chooser opens even while the program is busy, which is tested
// after it closes.
void open_command(FileCommandContext& context);
void save_command(FileCommandContext& context);
void save_as_command(FileCommandContext& context);
void default_parameters_command(FileCommandContext& context);

// The four commands as menu callbacks (the checked state is ignored); `context` must outlive
// the menu.
display::MenuCallback open_menu_callback(FileCommandContext& context);
display::MenuCallback save_menu_callback(FileCommandContext& context);
display::MenuCallback save_as_menu_callback(FileCommandContext& context);
display::MenuCallback default_parameters_menu_callback(FileCommandContext& context);

}  // namespace kt
