// The command line of one batch command on CLI11: the command declares its options, counts,
// sizes, flags and operands, then parses the arguments after its command word. The checks
// made before any run (unknown options, missing or bad values, output files that cannot be
// written) name the option and the problem; a wrong command line exits with kExitUsage.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "params/spelling.h"
#include "solver/calculation_run.h"

namespace CLI {
class App;
}

namespace kt::batch {

class CommandLine {
 public:
  // `command` is the command word ("sweep"; empty for the one-run form), `help` the text that
  // --help prints.
  CommandLine(std::string command, std::string help);
  ~CommandLine();
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // An option with a value: `--name value` or `--name=value`; the last one given counts.
  void option(const std::string& name, std::string& value);
  // An option that may be given several times; every value is kept, in order.
  void repeated_option(const std::string& name, std::vector<std::string>& values);
  // A whole number from lowest to highest.
  void count(const std::string& name, int& value, int lowest, int highest);
  // WIDTHxHEIGHT in pixels.
  void size(const std::string& name, int& width, int& height);
  // An option without a value.
  void flag(const std::string& name, bool& value);
  // The operand (one; a second is refused), or all of them.
  void operand(const std::string& name, std::string& value);
  void operands(const std::string& name, std::vector<std::string>& values);

  // Parses the arguments after the command word. --help or -h anywhere prints the help and
  // gives kExitDone; a wrong line prints why and gives kExitUsage; nullopt: the command goes on.
  std::optional<int> parse(const std::vector<std::string>& args);

  const std::string& error() const { return error_; }

  // An output file: it ends with `extension` (when not empty, case ignored) and can be
  // created or overwritten where it is; otherwise the error names the option, the file and
  // the system's reason.
  bool check_output_file(const std::string& path, const std::string& option,
                         const std::string& extension);
  // An output folder: it exists and can be written, or the nearest folder above it that
  // exists can be written (so that it can be made). Nothing is made here: a command makes its
  // folders only when it writes into them, so that a refused command leaves nothing.
  bool check_output_directory(const std::string& path, const std::string& option);

  // Prints the recorded error (or `message`) and a pointer to --help; returns kExitUsage.
  int usage_error(const std::string& message = {}) const;

 private:
  struct Count {
    std::string name, text;
    int* value;
    int lowest, highest;
  };
  struct Size {
    std::string name, text;
    int *width, *height;
  };
  struct Valued {
    std::string name;
    const std::string* value;
  };
  bool convert_counts_and_sizes();

  std::string command_;
  std::string help_;
  std::unique_ptr<CLI::App> app_;
  std::list<Count> counts_;
  std::list<Size> sizes_;
  std::vector<Valued> valued_;
  std::vector<std::string> value_option_names_;
  std::vector<std::string> option_names_;  // every option, for "did you mean" suggestions
  std::string error_;
};

}  // namespace kt::batch
