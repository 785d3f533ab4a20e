#include "app/file_commands.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace kt {
namespace {

constexpr std::string_view kOpenTitle = "Open...";
constexpr std::string_view kSaveTitle = "Save...";
constexpr std::string_view kSaveAsTitle = "Save as...";

bool is_wildcard(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

std::string too_long_message(const std::string& path) {
  return "The path \"" + path + "\" has " + std::to_string(path.size()) +
         " characters; a parameter file path may have at most " +
         std::to_string(kMaxParameterFilePath) + ". Choose a file with a shorter path.";
}

// Why a command cannot run now, or empty. A calculation keeps Open... away (the run uses the
// Parameter set) but not the saves, which write the set as it stands.
std::string kept_away(const RunStateMachine& run_state, bool reads_the_set) {
  const RunState state = run_state.state();
  if (state == RunState::help_shown) return "the help window is open";
  if (state == RunState::about_shown) return "the about window is open";
  if (reads_the_set && run_state.calculating()) return "a calculation is using the parameters";
  return {};
}

// True (after telling the user) when the command cannot run now.
bool refused(FileCommandContext& context, std::string_view title, bool reads_the_set) {
  const std::string reason = kept_away(context.run_state, reads_the_set);
  if (reason.empty()) return false;
  context.services.show_message(title, std::string(title) + " is not possible now: " + reason +
                                           ". Try again when it is over.");
  return true;
}

void make_current(ParameterFileLocation& location, const std::string& path) {
  location.parameter_file_mode = ParameterFileMode::full_path;
  set_padded(location.parameter_file_path, path);
}

}  // namespace

ChooserResult choose_parameter_file(const FileCommandServices& services) {
  namespace fs = std::filesystem;
  const std::string chosen = services.open_file_chooser(kChooserTitle, kChooserInitialName);
  // Cancel leaves the initial wildcard; neither it nor another wildcard names a file.
  if (chosen.empty() || is_wildcard(chosen)) return {};
  std::error_code error;
  const fs::path full = fs::absolute(fs::path(chosen), error).lexically_normal();
  if (error || !full.has_filename()) return {};
  if (fs::is_directory(full, error)) return {};
  const std::string path = full.string();
  if (path.size() > kMaxParameterFilePath) {
    services.show_message(kChooserTitle, too_long_message(path));
    return {ChooserStatus::too_long, {}};
  }
  return {ChooserStatus::chosen, path};
}

bool open_parameter_file(const std::string& path, FileCommandContext& context) {
  if (refused(context, kOpenTitle, true)) return false;
  if (path.size() > kMaxParameterFilePath) {
    context.services.show_message(kOpenTitle, too_long_message(path));
    return false;
  }
  FileResult result;
  {
    std::lock_guard<std::mutex> guard(context.parameters.lock);
    result = read_parameter_file(path, context.parameters.values);
    if (result) context.services.parameters_stored(context.parameters.values);
  }
  if (!result) {
    context.services.show_message(kOpenTitle, result.message);
    return false;
  }
  make_current(context.location, path);
  return true;
}

bool save_parameter_file(FileCommandContext& context) {
  if (refused(context, kSaveTitle, false)) return false;
  // A current file that cannot be read (it was refused at start-up, or was changed since) may
  // hold values the user wants: Save... does not replace it with the set in memory.
  const std::string path = current_parameter_file(context.location);
  std::error_code error;
  if (std::filesystem::exists(path, error)) {
    ParameterSet on_disk;
    if (const FileResult existing = read_parameter_file(path, on_disk); !existing) {
      context.services.show_message(
          kSaveTitle, existing.message +
                          "\nSave... did not replace it, as it may hold values you want to keep. "
                          "Mend or remove it, or use Save as... to save elsewhere.");
      return false;
    }
  }
  FileResult result;
  {
    std::lock_guard<std::mutex> guard(context.parameters.lock);
    result = transfer_parameter_file(TransferDirection::write, context.parameters.values,
                                     context.location);
    if (result) context.services.parameters_stored(context.parameters.values);
  }
  if (!result) context.services.show_message(kSaveTitle, result.message);
  return result.ok;
}

bool save_parameter_file_as(const std::string& path, FileCommandContext& context) {
  if (refused(context, kSaveAsTitle, false)) return false;
  if (path.size() > kMaxParameterFilePath) {
    context.services.show_message(kSaveAsTitle, too_long_message(path));
    return false;
  }
  FileResult result;
  {
    std::lock_guard<std::mutex> guard(context.parameters.lock);
    ParameterSet& values = context.parameters.values;
    result = write_parameter_file(path, values);
    if (result) {
      values.time_scale = values.pulse_width;  // the record follows the saved file
      context.services.parameters_stored(values);
    }
  }
  if (!result) {
    context.services.show_message(kSaveAsTitle, result.message);
    return false;
  }
  make_current(context.location, path);
  return true;
}

void open_command(FileCommandContext& context) {
  const ChooserResult choice = choose_parameter_file(context.services);
  if (choice.status != ChooserStatus::chosen) return;
  open_parameter_file(choice.path, context);
}

void save_command(FileCommandContext& context) {
  save_parameter_file(context);
}

void save_as_command(FileCommandContext& context) {
  const ChooserResult choice = choose_parameter_file(context.services);
  if (choice.status != ChooserStatus::chosen) return;
  save_parameter_file_as(choice.path, context);
}

void default_parameters_command(FileCommandContext& context) {
  if (refused(context, "Default Parameters...", true)) return;
  std::lock_guard<std::mutex> guard(context.parameters.lock);
  set_default_parameters(context.parameters.values, context.run_state);
}

display::MenuCallback open_menu_callback(FileCommandContext& context) {
  return [&context](std::int32_t) { open_command(context); };
}
display::MenuCallback save_menu_callback(FileCommandContext& context) {
  return [&context](std::int32_t) { save_command(context); };
}
display::MenuCallback save_as_menu_callback(FileCommandContext& context) {
  return [&context](std::int32_t) { save_as_command(context); };
}
display::MenuCallback default_parameters_menu_callback(FileCommandContext& context) {
  return [&context](std::int32_t) { default_parameters_command(context); };
}

}  // namespace kt
