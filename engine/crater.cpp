#include "engine/crater.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "analysis/threshold.h"
#include "engine/material_setup.h"
#include "engine/model_runs.h"
#include "engine/single_run.h"
#include "engine/spot_train.h"
#include "solver/result_files.h"

namespace kt {
namespace {

// Fritsch-Carlson slopes of a monotone piecewise cubic through (x, y).
std::vector<double> monotone_slopes(const std::vector<double>& x, const std::vector<double>& y) {
  const std::size_t n = x.size();
  std::vector<double> m(n, 0.0);
  if (n < 2) return m;
  std::vector<double> secant(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) secant[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
  m[0] = secant[0];
  m[n - 1] = secant[n - 2];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (secant[i - 1] * secant[i] <= 0.0) continue;
    // Weighted harmonic mean (Fritsch and Butland): monotone on uneven steps.
    const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
    const double w0 = 2.0 * h1 + h0, w1 = h1 + 2.0 * h0;
    m[i] = (w0 + w1) / (w0 / secant[i - 1] + w1 / secant[i]);
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (secant[i] == 0.0) m[i] = m[i + 1] = 0.0;
  }
  return m;
}

double hermite(double x0, double x1, double y0, double y1, double m0, double m1, double x) {
  const double h = x1 - x0;
  const double t = (x - x0) / h;
  const double t2 = t * t, t3 = t2 * t;
  return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * h * m0 + (-2 * t3 + 3 * t2) * y1 +
         (t3 - t2) * h * m1;
}

// The pulses' depths of one run at `fluence`, or the problem.
struct GridRun {
  std::vector<double> depth_nm;  // per pulse
  std::string problem;
};

GridRun run_at(HeadlessRun& records, const ParameterSet& parameters, const RunOptions& base,
               double fluence) {
  GridRun result;
  SharedParameters shared;
  shared.values = parameters;
  shared.values.fluence = static_cast<float>(fluence);
  const RunOutcome outcome = records.run(shared, base);
  if (outcome.end == RunEnd::not_started) {
    result.problem = outcome.not_started_reason;
  } else if (outcome.end == RunEnd::diverged) {
    result.problem = divergence_message(outcome);
  } else if (outcome.end == RunEnd::stop) {
    result.problem = "interrupted";
  } else if (base.pulse.pulses > 1) {
    if (static_cast<int>(outcome.pulses.size()) != base.pulse.pulses) {
      result.problem = "the train ended before its last pulse";
    }
    for (const PulseRecord& p : outcome.pulses) result.depth_nm.push_back(p.total_depth_nm);
  } else {
    result.depth_nm.push_back(outcome.total_depth_nm);
  }
  return result;
}

}  // namespace

DepthOfFluence::DepthOfFluence(std::vector<double> fluence, std::vector<std::vector<double>> depth)
    : fluence_(std::move(fluence)), depth_(std::move(depth)) {
  for (double f : fluence_) log_fluence_.push_back(std::log(f));
  for (const auto& d : depth_) slope_.push_back(monotone_slopes(log_fluence_, d));
}

double DepthOfFluence::depth_nm(int pulse, double fluence) const {
  if (fluence_.empty() || pulse < 1 || pulse > pulse_count() || !(fluence > 0.0)) return 0.0;
  const std::vector<double>& d = depth_[static_cast<std::size_t>(pulse - 1)];
  const std::vector<double>& m = slope_[static_cast<std::size_t>(pulse - 1)];
  if (fluence < fluence_.front()) return d.front() == 0.0 ? 0.0 : d.front();
  if (fluence >= fluence_.back()) return d.back();
  const double x = std::log(fluence);
  const auto i = static_cast<std::size_t>(
      std::upper_bound(log_fluence_.begin(), log_fluence_.end(), x) - log_fluence_.begin() - 1);
  return std::max(0.0,
                  hermite(log_fluence_[i], log_fluence_[i + 1], d[i], d[i + 1], m[i], m[i + 1], x));
}

double DepthOfFluence::cumulative_nm(int pulses, double fluence) const {
  double sum = 0.0;
  for (int k = 1; k <= std::min(pulses, pulse_count()); ++k) sum += depth_nm(k, fluence);
  return sum;
}

double DepthOfFluence::fluence_reaching(int pulses, double depth) const {
  if (fluence_.empty() || cumulative_nm(pulses, highest()) < depth) return 0.0;
  if (cumulative_nm(pulses, lowest()) >= depth) return lowest();
  double lo = std::log(lowest()), hi = std::log(highest());
  for (int i = 0; i < 200 && hi - lo > 1e-14 * std::abs(hi); ++i) {
    const double mid = (lo + hi) / 2.0;
    (cumulative_nm(pulses, std::exp(mid)) >= depth ? hi : lo) = mid;
  }
  return std::exp(hi);
}

DepthOfFluenceResult compute_depth_of_fluence(const DepthOfFluenceRequest& request) {
  DepthOfFluenceResult result;
  const int coarse = std::max(request.points, 1);
  std::vector<double> fluence;  // coarse points at even, midpoints at odd indices
  const bool single = coarse == 1 || !(request.highest > request.lowest);
  const int count = single ? 1 : 2 * coarse - 1;
  const double lo = std::log(single ? request.highest : request.lowest);
  const double hi = std::log(request.highest);
  for (int i = 0; i < count; ++i) {
    fluence.push_back(single ? request.highest : std::exp(lo + (hi - lo) * i / (count - 1)));
  }
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  options.refinement = request.refinement;
  request.setup.apply(options);
  options.interrupt = request.interrupt;
  std::vector<GridRun> runs(fluence.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    HeadlessRun records;
    for (std::size_t i = next++; i < fluence.size(); i = next++) {
      if (request.interrupt && request.interrupt->load()) {
        runs[i].problem = "interrupted";
        continue;
      }
      runs[i] = run_at(records, request.parameters, options, fluence[i]);
    }
  };
  ParallelRun parallel;
  parallel.jobs = std::max(1, std::min(capped_jobs(request.jobs), count));
  parallel.start_thread = request.start_thread;
  result.error = run_in_parallel(parallel, work);
  if (!result.error.empty()) return result;
  result.runs = count;
  const std::size_t pulses = static_cast<std::size_t>(std::max(request.setup.pulse.pulses, 1));
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (!runs[i].problem.empty()) {
      char at[64];
      std::snprintf(at, sizeof at, "the run at %.6g mJ/cm^2 gave no depth: ", fluence[i]);
      result.error = at + runs[i].problem;
      return result;
    }
  }
  std::vector<std::vector<double>> all(pulses), even(pulses);
  std::vector<double> even_fluence;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (i % 2 == 0) even_fluence.push_back(fluence[i]);
    for (std::size_t k = 0; k < pulses; ++k) {
      all[k].push_back(runs[i].depth_nm[k]);
      if (i % 2 == 0) even[k].push_back(runs[i].depth_nm[k]);
    }
  }
  if (!single) {
    const DepthOfFluence coarse_depth(even_fluence, even);
    for (std::size_t i = 1; i < runs.size(); i += 2) {
      for (std::size_t k = 0; k < pulses; ++k) {
        const double e =
            std::abs(coarse_depth.depth_nm(static_cast<int>(k) + 1, fluence[i]) - all[k][i]);
        result.interpolation_error_nm = std::max(result.interpolation_error_nm, e);
      }
    }
  }
  result.depth = DepthOfFluence(std::move(fluence), std::move(all));
  return result;
}

Crater crater_from_depth(const DepthOfFluence& depth, const SpotPlan& spot, double peak,
                         double diameter_depth_nm, int radius_points) {
  Crater c;
  c.spot = spot;
  c.peak_fluence = peak;
  c.pulse_energy_uj = spot.pulse_energy_uj(peak);
  c.diameter_depth_nm = diameter_depth_nm;
  const int n = std::max(radius_points, 2);
  const std::size_t pulses = static_cast<std::size_t>(depth.pulse_count());
  c.depth_nm.assign(pulses, {});
  c.cumulative_nm.assign(pulses, {});
  for (int i = 0; i < n; ++i) {
    const double r = spot.reach_um() * i / (n - 1);
    const double f = spot.fluence_at(peak, r);
    c.radius_um.push_back(r);
    c.fluence.push_back(f);
    double sum = 0.0;
    for (std::size_t k = 0; k < pulses; ++k) {
      const double d = depth.depth_nm(static_cast<int>(k) + 1, f);
      sum += d;
      c.depth_nm[k].push_back(d);
      c.cumulative_nm[k].push_back(sum);
    }
  }
  for (std::size_t k = 0; k < pulses; ++k) {
    // The volume: exact for a top-hat (a flat disc), else the trapezoid rule of 2 pi r d over
    // 2000 cells of the reach, whatever the radii listed.
    double volume = 0.0;  // um^3
    if (spot.beam == SpotPlan::Beam::tophat) {
      volume = M_PI * spot.radius_um * spot.radius_um *
               depth.depth_nm(static_cast<int>(k) + 1, peak) * 1e-3;
    } else {
      constexpr int kCells = 2000;
      const double dr = spot.reach_um() / kCells;
      for (int i = 1; i <= kCells; ++i) {  // the centre's term is 0
        const double r = dr * i;
        const double d = depth.depth_nm(static_cast<int>(k) + 1, spot.fluence_at(peak, r));
        volume += 2.0 * M_PI * r * d * 1e-3 * dr * (i == kCells ? 0.5 : 1.0);
      }
    }
    c.volume_um3.push_back(volume);
    const double f = depth.fluence_reaching(static_cast<int>(k) + 1, diameter_depth_nm);
    double diameter = 0.0;
    if (f > 0.0 && f <= peak) {
      diameter = spot.beam == SpotPlan::Beam::gaussian
                     ? 2.0 * spot.radius_um * std::sqrt(std::log(peak / f) / 2.0)
                     : 2.0 * spot.radius_um;
    }
    c.diameter_um.push_back(diameter);
  }
  return c;
}

Crater compute_crater(const CraterRequest& request) {
  const SpotPlan& spot = request.setup.spot;
  const double peak = request.parameters.fluence;
  DepthOfFluenceRequest grid;
  grid.parameters = request.parameters;
  grid.setup = request.setup;
  grid.highest = peak;
  grid.lowest =
      spot.beam == SpotPlan::Beam::gaussian ? spot.fluence_at(peak, spot.reach_um()) : peak;
  grid.points = spot.beam == SpotPlan::Beam::gaussian ? request.fluence_points : 1;
  grid.refinement = request.refinement;
  grid.jobs = request.jobs;
  grid.interrupt = request.interrupt;
  grid.start_thread = request.start_thread;
  const DepthOfFluenceResult depth = compute_depth_of_fluence(grid);
  if (!depth.error.empty()) {
    Crater failed;
    failed.error = "the crater: " + depth.error;
    return failed;
  }
  Crater c =
      crater_from_depth(depth.depth, spot, peak, request.diameter_depth_nm, request.radius_points);
  c.interpolation_error_nm = depth.interpolation_error_nm;
  c.runs = depth.runs;
  return c;
}

std::string crater_table_text(const Crater& c) {
  std::string text;
  char line[400];
  const std::size_t pulses = c.depth_nm.size();
  std::snprintf(line, sizeof line,
                "# crater of a %s spot, radius %.6g um%s, peak fluence %.6g mJ/cm^2, pulse energy "
                "%.6g uJ",
                beam_name(c.spot.beam), c.spot.radius_um,
                c.spot.beam == SpotPlan::Beam::gaussian ? " (1/e^2)" : "", c.peak_fluence,
                c.pulse_energy_uj);
  text += line;
  text += kLineEnd;
  if (c.interpolated) {
    std::snprintf(line, sizeof line,
                  "# depths interpolated in log fluence over %d runs; interpolation error at most "
                  "%.3g nm (measured on a grid twice as coarse)",
                  c.runs, c.interpolation_error_nm);
  } else {
    std::snprintf(line, sizeof line,
                  "# depths of %d runs, one at each radius listed, cooled together between pulses",
                  c.runs);
  }
  text += line;
  text += kLineEnd;
  if (c.partial()) {
    std::snprintf(line, sizeof line,
                  "# INTERRUPTED: only the %d of %d pulses finished at every radius are listed",
                  c.listed_pulses(), c.planned_pulses);
    text += line;
    text += kLineEnd;
  }
  for (std::size_t k = 0; k < pulses; ++k) {
    std::snprintf(line, sizeof line,
                  "# pulse %zu: volume %.6g um^3, diameter at %.6g nm depth after %zu pulse%s "
                  "%.6g um",
                  k + 1, c.volume_um3[k], c.diameter_depth_nm, k + 1, k == 0 ? "" : "s",
                  c.diameter_um[k]);
    text += line;
    text += kLineEnd;
  }
  text += "   radius/um  fluence/mJcm-2";
  for (std::size_t k = 0; k < pulses; ++k) {
    std::snprintf(line, sizeof line, "  %12s", ("depth" + std::to_string(k + 1) + "/nm").c_str());
    text += line;
  }
  if (pulses > 1) {
    for (std::size_t k = 0; k < pulses; ++k) {
      std::snprintf(line, sizeof line, "  %12s", ("after" + std::to_string(k + 1) + "/nm").c_str());
      text += line;
    }
  }
  text += kLineEnd;
  for (std::size_t i = 0; i < c.radius_um.size(); ++i) {
    std::snprintf(line, sizeof line, "%12.5E  %14.6E", c.radius_um[i], c.fluence[i]);
    text += line;
    for (std::size_t k = 0; k < pulses; ++k) {
      std::snprintf(line, sizeof line, "  %12.5E", c.depth_nm[k][i]);
      text += line;
    }
    if (pulses > 1) {
      for (std::size_t k = 0; k < pulses; ++k) {
        std::snprintf(line, sizeof line, "  %12.5E", c.cumulative_nm[k][i]);
        text += line;
      }
    }
    text += kLineEnd;
  }
  return text;
}

double profile_diameter_um(const std::vector<double>& r, const std::vector<double>& d,
                           double depth) {
  if (r.empty() || d.front() < depth) return 0.0;
  for (std::size_t i = r.size() - 1; i > 0; --i) {
    if (d[i - 1] >= depth && d[i] < depth) {
      return 2.0 * (r[i - 1] + (r[i] - r[i - 1]) * (d[i - 1] - depth) / (d[i - 1] - d[i]));
    }
  }
  return 2.0 * r.back();
}

D2ModelResult d2_on_model(const D2ModelRequest& request) {
  D2ModelResult result;
  const SpotPlan& spot = request.setup.spot;
  if (spot.beam != SpotPlan::Beam::gaussian) {
    result.error = "the D^2 method needs a gaussian spot (beam and spot_radius_um)";
    return result;
  }
  const int pulses = std::max(request.setup.pulse.pulses, 1);
  ThresholdRequest search;
  search.parameters = request.parameters;
  search.depth_nm = request.depth_nm / pulses;  // a train's depth is its mean per pulse
  search.jobs = capped_jobs(request.jobs);
  const std::atomic<bool> never{false};
  const ThresholdReport found = find_threshold(search, calculation_model({}, request.setup),
                                               request.interrupt ? *request.interrupt : never);
  result.runs = found.runs;
  if (!found.ok) {
    result.error = "no threshold: " + found.message;
    return result;
  }
  result.threshold = found.fluence;
  DepthOfFluenceRequest grid;
  grid.parameters = request.parameters;
  grid.setup = request.setup;
  grid.lowest = 0.9 * found.fluence;
  grid.highest = 10.5 * found.fluence;
  grid.points = 33;
  grid.jobs = request.jobs;
  grid.interrupt = request.interrupt;
  const DepthOfFluenceResult depth = compute_depth_of_fluence(grid);
  result.runs += depth.runs;
  result.interpolation_error_nm = depth.interpolation_error_nm;
  if (!depth.error.empty()) {
    result.error = "the craters: " + depth.error;
    return result;
  }
  const int n = std::max(request.energies, 3);
  for (int i = 0; i < n; ++i) {
    const double peak =
        1.5 * found.fluence * std::pow(10.0 / 1.5, static_cast<double>(i) / (n - 1));
    const Crater crater =
        crater_from_depth(depth.depth, spot, peak, request.depth_nm, request.radius_points);
    DiameterPoint point;
    point.energy_uj = crater.pulse_energy_uj;
    point.pulses = pulses;
    point.diameter_um =
        profile_diameter_um(crater.radius_um, crater.cumulative_nm.back(), request.depth_nm);
    result.craters.push_back(point);
  }
  result.fit = fit_d2(result.craters);
  if (!result.fit.ok) result.error = result.fit.message;
  return result;
}

std::string crater_file_name(const std::string& base) {
  return base + "C.dat";
}

std::string CraterStep::problem() const {
  if (!crater.error.empty()) return crater.error;
  std::string text;
  for (const std::string& e : file_errors) text += (text.empty() ? "" : "\n") + e;
  return text;
}

CraterStep take_crater_step(const ParameterSet& used, const RunSetup& setup, int refinement,
                            const RunOutcome& outcome, const std::atomic<bool>* interrupt,
                            const SpotTrainResult* train, const std::filesystem::path& folder) {
  CraterStep step;
  if (!setup.spot.active() || outcome.end == RunEnd::not_started ||
      outcome.end == RunEnd::diverged || (train && !train->failure.empty()))
    return step;
  step.taken = true;
  if (train) {
    step.crater = train->crater;
    if (step.crater.listed_pulses() == 0) step.crater.error = kNoPulseAtEveryRadius;
  } else if (outcome.end == RunEnd::stop) {
    step.crater.error = kNoPulseAtEveryRadius;
  } else {
    CraterRequest request;
    request.parameters = used;
    request.setup = setup;
    request.refinement = refinement;
    request.interrupt = interrupt;
    step.crater = compute_crater(request);
    step.interrupted = !step.crater.error.empty() && interrupt && interrupt->load();
  }
  if (!step.crater.error.empty()) return step;
  const std::string file =
      file_in_folder(folder, crater_file_name(result_file_base(used.data_file_name)));
  write_result_file(file, ResultFile::Mode::rewrite, crater_table_text(step.crater),
                    step.file_errors);
  if (step.file_errors.empty()) step.file = file;
  return step;
}

}  // namespace kt
