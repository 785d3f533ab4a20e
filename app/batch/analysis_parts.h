// What the analysis commands of the batch runner share (analysis_commands.cpp,
// fit_command.cpp, threshold_command.cpp); not for use outside them.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/beer_lambert.h"
#include "app/batch/command_line.h"
#include "app/batch/exit_codes.h"
#include "params/parameter_set.h"

namespace kt::analysis_parts {

// The command line and the exit statuses, by the short names the analysis commands use (each
// of them opens this namespace with one using-directive).
using batch::CommandLine;
using batch::kExitFailure;
using batch::kExitInterrupted;
using batch::kExitUsage;

// Prints "kestrium-batch: MESSAGE" on stderr; the failure's exit status.
int fail(const std::string& message);
// A finite number, the whole text.
bool parse_real(const std::string& text, double& value);
// Reads the parameter file; false, with the message printed, when it cannot.
bool read_parameters(const std::string& path, ParameterSet& parameters);
// Writes text to a file through the safe save, so a failed write keeps the old file.
bool write_text_file(const std::string& path, const std::string& text, std::string& error);
// "NAME = VALUE +- ERROR UNIT", or "(error not determined)".
std::string value_with_error(const char* name, double value, double error, const char* unit);
// The Beer-Lambert line's values as legend lines of a picture.
void add_beer_lambert_legend(const BeerLambertFit& fit, std::vector<std::string>& legend);

// The progress of a fit on one line of a terminal.
class ProgressLine {
 public:
  ProgressLine() : shown_(isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()) {}
  ~ProgressLine() {
    if (shown_ && used_) std::fprintf(stderr, "\n");
  }
  void operator()(int evaluations, int runs, double best) {
    if (!shown_) return;
    used_ = true;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "\r%d evaluations, %d runs, best chi2 %.6g, %.1f s   ", evaluations, runs,
                 best, elapsed);
    std::fflush(stderr);
  }

 private:
  bool shown_;
  bool used_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace kt::analysis_parts
