// The analysis commands of the batch runner: fit, threshold, and the Beer-Lambert analysis and
// measured-data overlay of sweeps. Each entry takes the arguments after its command word and
// returns the exit status.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/beer_lambert.h"
#include "analysis/measured_data.h"
#include "app/batch/batch_pictures.h"
#include "engine/sweep.h"

namespace kt {
namespace batch {
class CommandLine;
}

// kestrium-batch fit PARFILE --data FILE.csv [--vary NAME[,NAME...]] ...
int fit_command(const std::vector<std::string>& args);
// kestrium-batch threshold PARFILE [--depth NM] [--quantity total|surface|volume] [--jobs N]
int threshold_command(const std::vector<std::string>& args);

// The help texts of the commands above.
std::string fit_help();
std::string threshold_help();
// The help of the sweep options below, for the sweep's --help.
const char* sweep_analysis_help();

// The sweep options --analyse, --data FILE.csv and --min-depth NM.
struct SweepAnalysis {
  bool analyse = false;
  std::string data_file;
  std::string min_depth_text;  // as given; read by prepare_sweep_analysis
  double min_depth_nm = 1.0;
  MeasuredData data;
  BeerLambertFit beer_lambert;
};

// Declares the options above on the sweep's command line.
void declare_sweep_analysis_options(batch::CommandLine& line, SweepAnalysis& analysis);

// Before the runs: reports a bad option (returns 2) or data file (returns 1) on stderr;
// 0 when the sweep may go on.
int prepare_sweep_analysis(SweepAnalysis& analysis);

// After the runs: the Beer-Lambert analysis of the total depths, printed unless `quiet`; false
// when asked for and not possible.
bool finish_sweep_analysis(const SweepResult& result, SweepAnalysis& analysis, bool quiet = false);

// The measured points and the Beer-Lambert line to draw over the sweep's curve.
CurveOverlay curve_overlay(const SweepAnalysis& analysis);

}  // namespace kt
