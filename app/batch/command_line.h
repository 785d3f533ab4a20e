// The batch runner's command line: options with their values, counts and sizes, the operand,
// and the checks made before any run (unknown options, missing values, output files that
// cannot be written). Messages name the option and the problem; usage errors exit with 2.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "solver/calculation_run.h"

namespace kt::batch {

class CommandLine {
 public:
  CommandLine(std::vector<std::string> args, std::string help);

  bool done() const { return next_ >= args_.size(); }
  // True when --help or -h is anywhere on the line.
  bool wants_help() const;

  // Each take_* consumes the current argument (and its value) when it is that option or an
  // operand, and returns true; on a missing or bad value it records the error and returns
  // false. `--name=value` is accepted as well as `--name value`.
  bool take_option(const std::string& name, std::string& value);
  bool take_count(const std::string& name, int& value, int lowest, int highest);
  bool take_size(const std::string& name, int& width, int& height);
  // An option without a value: sets `value` when present.
  bool take_flag(const std::string& name, bool& value);
  // --scheme published|accurate.
  bool take_scheme(kt::Scheme& scheme);
  // The first argument not starting with "-" (later ones are refused).
  bool take_operand(std::string& operand);
  // Records "unknown option X" or "unexpected argument X" for the current argument.
  void refuse_current();

  const std::string& error() const { return error_; }

  // An output file: it ends with `extension` (when not empty, case ignored) and can be
  // created or overwritten where it is; otherwise the error names the option, the file and
  // the system's reason.
  bool check_output_file(const std::string& path, const std::string& option,
                         const std::string& extension);
  // An output folder: it exists or can be made, and can be written.
  bool check_output_directory(const std::string& path, const std::string& option);

  // Prints the recorded error (or `message`) and a pointer to --help; returns 2.
  int usage_error(const std::string& message = {}) const;

 private:
  bool take_value(const std::string& name, std::string& value);

  std::vector<std::string> args_;
  std::string help_;
  std::size_t next_ = 0;
  std::string error_;
};

}  // namespace kt::batch
