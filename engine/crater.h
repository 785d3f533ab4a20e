// Crater profiles of a focused spot. Each radius of the spot is taken as an independent
// one-dimensional run at its local fluence F(r) (solver/spot.h): valid while the spot radius is
// much larger than the heat-diffusion length of a pulse, sqrt(kappa tau / (rho c)) (about 0.1 um
// for polyimide and 15 ns), so that the heat of a pulse does not spread sideways before the
// pulse is over. The depth is then a function of the local fluence alone: it is computed by runs
// at fluences spaced evenly in log F (on the engine's parallel runner) and interpolated between
// them by a monotone cubic (Fritsch-Carlson) in log F, for each pulse of a train. The error of
// the interpolation is measured, not assumed: the grid is run at the midpoints of its intervals
// too, the interpolant of the coarse grid is compared with those runs, and the largest
// difference is stated; the profile then interpolates over all points (coarse and midpoints),
// so the stated error is a bound on a grid twice as coarse as the one used.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/lab_thresholds.h"
#include "engine/experiment_setup.h"
#include "engine/parallel_runner.h"
#include "params/parameter_set.h"
#include "solver/calculation_run.h"

namespace kt {

// The depths of every pulse of a run (one for a single pulse) as a function of the fluence.
class DepthOfFluence {
 public:
  // Pulses x points: depth_nm[k][i] the depth of pulse k + 1 at fluence[i] (ascending, > 0).
  DepthOfFluence(std::vector<double> fluence, std::vector<std::vector<double>> depth_nm);
  DepthOfFluence() = default;

  int pulse_count() const { return static_cast<int>(depth_.size()); }
  double lowest() const { return fluence_.empty() ? 0.0 : fluence_.front(); }
  double highest() const { return fluence_.empty() ? 0.0 : fluence_.back(); }
  const std::vector<double>& fluence() const { return fluence_; }
  // The depth of pulse `pulse` (1 ... pulse_count()) at `fluence`: 0 below the grid's lowest
  // fluence when its depth there is 0, the end value beyond the grid otherwise.
  double depth_nm(int pulse, double fluence) const;
  // The depth after `pulses` pulses (the sum of their depths).
  double cumulative_nm(int pulses, double fluence) const;
  // The lowest fluence at which the cumulative depth after `pulses` pulses reaches `depth`; 0
  // when the grid's highest fluence does not reach it, the grid's lowest when that already does.
  double fluence_reaching(int pulses, double depth) const;

 private:
  std::vector<double> fluence_, log_fluence_;
  std::vector<std::vector<double>> depth_, slope_;  // per pulse, at each point
};

struct DepthOfFluenceRequest {
  ParameterSet parameters;  // with the experiment's material values in place
  RunSetup setup;
  double lowest = 1.0, highest = 100.0;  // mJ/cm^2
  int points = 17;                       // of the coarse grid (>= 2); midpoints are added
  int refinement = 1;                    // sub-steps of the runs
  int jobs = 0;                          // 0: all cores
  const std::atomic<bool>* interrupt = nullptr;
  ThreadStarter start_thread;
};

struct DepthOfFluenceResult {
  std::string error;  // empty on success; else the failed run (its fluence) or the threads
  DepthOfFluence depth;
  double interpolation_error_nm = 0.0;  // largest |coarse interpolant - run| at the midpoints
  int runs = 0;
};

// Runs the grid and its midpoints and builds the interpolant.
DepthOfFluenceResult compute_depth_of_fluence(const DepthOfFluenceRequest& request);

struct CraterRequest {
  ParameterSet parameters;         // its fluence is the peak fluence F0 at the spot's centre
  RunSetup setup;                  // with an active spot
  double diameter_depth_nm = 1.0;  // the depth at which the diameter is measured
  int radius_points = 101;         // radii from 0 to the spot's reach
  int fluence_points = 33;
  int refinement = 1;
  int jobs = 0;
  const std::atomic<bool>* interrupt = nullptr;
  ThreadStarter start_thread;
};

struct Crater {
  std::string error;  // empty on success
  SpotPlan spot;
  double peak_fluence = 0.0;  // mJ/cm^2
  double pulse_energy_uj = 0.0;
  double diameter_depth_nm = 0.0;
  std::vector<double> radius_um, fluence;  // per radius
  // [pulse][radius]: each pulse's own depth and the depth after that many pulses [nm].
  std::vector<std::vector<double>> depth_nm, cumulative_nm;
  std::vector<double> volume_um3;   // per pulse: its own volume removed
  std::vector<double> diameter_um;  // per pulse: of the crater after that many pulses (0: none)
  double interpolation_error_nm = 0.0;
  int runs = 0;
  // False when each radius listed is a run of its own (a spot's train): nothing interpolated.
  bool interpolated = true;
  // The pulses the run was to make; above the pulses listed when it was interrupted, the crater
  // then being that of the pulses finished at every radius. 0: as many as listed.
  int planned_pulses = 0;

  int listed_pulses() const { return static_cast<int>(depth_nm.size()); }
  bool partial() const { return planned_pulses > listed_pulses(); }
};

// The crater of a spot from a depth function (no runs).
Crater crater_from_depth(const DepthOfFluence& depth, const SpotPlan& spot, double peak_fluence,
                         double diameter_depth_nm, int radius_points);

// The crater of `request`: the depth function over the fluences of the spot, then the profile.
Crater compute_crater(const CraterRequest& request);

// The crater table: '#' lines (spot, peak fluence and pulse energy, interpolation error or the
// runs at the radii, an interrupted train's pulses left out, the volume and diameter of each
// pulse), a header line of column names with units, then per
// radius: radius, local fluence, each pulse's depth and each cumulative depth. Lines end CR LF.
std::string crater_table_text(const Crater& crater);

// The diameter [um] at which a sampled profile (depth [nm] against radius [um], deepest at the
// centre) last has `depth`: linear between the samples; 0 when the centre is shallower.
double profile_diameter_um(const std::vector<double>& radius_um,
                           const std::vector<double>& depth_nm, double depth);

// The D^2 method on the model's craters: the threshold found by the search (the cumulative
// depth of the setup's pulses reaching `depth_nm`), then craters of a Gaussian spot at
// `energies` pulse energies whose peak fluences run from 1.5 to 10 times that threshold, their
// diameters read off the profiles at `depth_nm`, and the D^2 law fitted to them.
struct D2ModelRequest {
  ParameterSet parameters;  // its fluence is where the threshold search starts
  RunSetup setup;           // with a Gaussian spot
  double depth_nm = 1.0;
  int energies = 8;
  int radius_points = 401;
  int jobs = 0;
  const std::atomic<bool>* interrupt = nullptr;
};

struct D2ModelResult {
  std::string error;
  double threshold = 0.0;  // mJ/cm^2, found by the search on one-dimensional runs
  std::vector<DiameterPoint> craters;
  D2Fit fit;
  double interpolation_error_nm = 0.0;
  int runs = 0;
};

D2ModelResult d2_on_model(const D2ModelRequest& request);

// base + "C.dat": the crater table beside the other result files.
std::string crater_file_name(const std::string& base);

// The crater step of a run on a spot, as every front end takes it after the run and before it
// tells anything of the run. One rule: data are never lost and a part is never shown as the
// whole. After a single pulse that ended whole (it started, was not stopped and did not
// diverge) the crater is made from runs at the spot's local fluences; a spot's train brings its
// own crater, the pulses finished at every radius (all of them, or those before a Stop, the
// table then saying so in its "# INTERRUPTED" line). The crater made is written as the crater
// table beside the run's result files, <base>C.dat; a stopped run with no pulse finished at
// every radius writes none. Nothing is done without a spot, after a run that did not start or
// diverged, or after a train whose cooling or runs failed.
struct CraterStep {
  bool taken = false;  // a crater was asked for
  Crater crater;       // its `error` is why there is none (then nothing is written)
  // The crater's own runs (after a single pulse) were stopped through `interrupt`.
  bool interrupted = false;
  std::string file;                      // the crater table written; empty when none
  std::vector<std::string> file_errors;  // the crater table could not be written

  bool made() const { return taken && crater.error.empty(); }
  // Empty when done or not taken, else why the table was not written (one problem a line).
  std::string problem() const;
};

// Why a stopped spot run has no crater.
inline constexpr const char* kNoPulseAtEveryRadius =
    "interrupted before a pulse was finished at every radius";

struct SpotTrainResult;

// `used` the parameters as the run used them (with the material's values), `setup` the run's,
// `refinement` its sub-steps; `interrupt` (may be null) stops the crater's runs; `train` (null
// for a single pulse) the spot's train that made the run; `folder` the run's output folder
// (RunOptions::output_directory; empty: the current folder).
CraterStep take_crater_step(const ParameterSet& used, const RunSetup& setup, int refinement,
                            const RunOutcome& outcome, const std::atomic<bool>* interrupt,
                            const SpotTrainResult* train = nullptr,
                            const std::filesystem::path& folder = {});

}  // namespace kt
