#include "engine/spot_train.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>

#include "solver/energy_ledger.h"
#include "solver/pulse_train.h"
#include "solver/spot_cooling.h"

namespace kt {

SpotTrainResult run_spot_train(const SpotTrainRequest& request) {
  SpotTrainResult result;
  const SpotPlan& spot = request.setup.spot;
  const PulsePlan& pulse = request.setup.pulse;
  const double peak = request.parameters.fluence;
  const double alpha = request.parameters.absorption_coefficient;
  const double scaled_per_um = 1e-4 * alpha;
  const int runs = std::max(request.radii, 2);
  const double reach_um = (spot.beam == SpotPlan::Beam::gaussian ? 2.0 : 1.25) * spot.radius_um;
  SpotCoolingPlan plan;
  plan.runs = runs;
  plan.heat_transfer = spot.heat_transfer;
  plan.emissivity = spot.emissivity;
  plan.interval = 1.0 / pulse.rate_hz / kTimeUnit;
  plan.step_growth = request.step_growth;
  for (int j = 0; j < runs; ++j) {
    result.radius_um.push_back(reach_um * j / (runs - 1));
    plan.radius.push_back(result.radius_um.back() * scaled_per_um);
  }
  // Beyond the runs the cells grow up to six diffusion lengths of the whole train.
  const double diffusivity = alpha * alpha * request.parameters.thermal_conductivity * kTimeUnit /
                             (request.parameters.specific_heat * request.parameters.density);
  const double far =
      plan.radius.back() + kWideReach * std::sqrt(diffusivity * plan.interval * pulse.pulses);
  double dr = plan.radius[1] - plan.radius[0];
  while (plan.radius.back() < far) {
    dr *= kWideGrowth;
    plan.radius.push_back(plan.radius.back() + dr);
  }
  SpotTrainCooling cooling(plan);
  std::vector<RunOutcome> outcomes(static_cast<std::size_t>(runs));
  auto body = [&](int j) {
    HeadlessRun records;
    SharedParameters shared;
    shared.values = request.parameters;
    // A top-hat's outer radii get a trace of light: a run needs a fluence above 0.
    const double f =
        std::max(spot.fluence_at(peak, result.radius_um[static_cast<std::size_t>(j)]), 1e-6 * peak);
    shared.values.fluence = static_cast<float>(f);
    RunOptions options = request.centre;
    request.setup.apply(options);
    if (j > 0) {
      options.write_profile_files = false;
      options.append_kinetics_line = false;
      options.observer = nullptr;
    }
    options.spot_cooling = &cooling;
    options.spot_column = j;
    outcomes[static_cast<std::size_t>(j)] = j == 0 && request.make_centre
                                                ? request.make_centre(shared, options)
                                                : records.run(shared, options);
    cooling.leave(j);
  };
  const ThreadStarter start =
      request.start_thread ? request.start_thread
                           : [](std::function<void()> f) { return std::thread(std::move(f)); };
  std::vector<std::thread> threads;
  for (int j = 1; j < runs; ++j) {
    try {
      threads.push_back(start([&body, j] { body(j); }));
    } catch (const std::system_error& e) {
      result.error = std::string("the runs of the spot's train could not start: ") + e.what();
      for (int k = j; k < runs; ++k) cooling.leave(k);
      cooling.leave(0);
      break;
    }
  }
  if (result.error.empty()) body(0);
  for (std::thread& t : threads) t.join();
  if (!result.error.empty()) return result;
  result.centre = outcomes[0];
  // Stopped from outside: every run ends at its next step, or between pulses when it waits for
  // the others (the cooling's "ended early" is then no failure).
  const std::atomic<bool>* interrupt = request.centre.interrupt;
  result.interrupted = interrupt != nullptr && interrupt->load();
  for (const RunOutcome& o : outcomes) {
    if (o.end == RunEnd::not_started && result.failure.empty())
      result.failure = o.not_started_reason;
    if (o.end == RunEnd::diverged && result.failure.empty()) result.failure = divergence_message(o);
    result.pulses.push_back(o.pulses);
  }
  if (result.failure.empty() && !result.interrupted) result.failure = cooling.failure();
  // The crater holds the pulses finished at every radius.
  std::size_t n = static_cast<std::size_t>(pulse.pulses);
  for (const std::vector<PulseRecord>& p : result.pulses) {
    std::size_t whole = 0;
    while (whole < p.size() && !p[whole].cut_short) ++whole;
    n = std::min(n, whole);
  }
  // The crater from the runs themselves.
  Crater& c = result.crater;
  c.spot = spot;
  c.peak_fluence = peak;
  c.pulse_energy_uj = spot.pulse_energy_uj(peak);
  c.radius_um = result.radius_um;
  c.interpolated = false;
  c.planned_pulses = pulse.pulses;
  c.depth_nm.assign(n, std::vector<double>(result.radius_um.size(), 0.0));
  c.cumulative_nm = c.depth_nm;
  for (std::size_t j = 0; j < result.radius_um.size(); ++j) {
    c.fluence.push_back(spot.fluence_at(peak, result.radius_um[j]));
    const std::vector<PulseRecord>& p = result.pulses[j];
    for (std::size_t k = 0; k < n && k < p.size(); ++k) {
      c.depth_nm[k][j] = p[k].total_depth_nm;
      c.cumulative_nm[k][j] = p[k].cumulative_depth_nm;
    }
  }
  c.diameter_depth_nm = 1.0;
  for (std::size_t k = 0; k < n; ++k) {
    double volume = 0.0;
    for (std::size_t j = 0; j + 1 < c.radius_um.size(); ++j)
      volume += M_PI * (c.radius_um[j + 1] - c.radius_um[j]) *
                (c.radius_um[j] * c.depth_nm[k][j] + c.radius_um[j + 1] * c.depth_nm[k][j + 1]) *
                1e-3;
    c.volume_um3.push_back(volume);
    c.diameter_um.push_back(profile_diameter_um(c.radius_um, c.cumulative_nm[k], 1.0));
  }
  c.runs = runs;
  const double to_uj = kScaledEnergyMilliJoule / (alpha * alpha) * 1e3;
  result.light_uj = c.pulse_energy_uj * static_cast<double>(n);
  result.surface_loss_uj = cooling.surface_loss() * to_uj;
  result.far_loss_uj = cooling.far_loss() * to_uj;
  return result;
}

std::string spot_train_summary(const SpotTrainResult& r) {
  std::string text;
  char line[300];
  if (r.crater.partial()) {
    std::snprintf(line, sizeof line,
                  "spot's train: interrupted; %d of %d pulses finished at every radius\n",
                  r.crater.listed_pulses(), r.crater.planned_pulses);
    text += line;
  }
  std::snprintf(line, sizeof line,
                "spot's train: %zu radii; light %.6g uJ; surface losses between pulses %.6g uJ "
                "(%.3g %% of the light); out through the grid's far ends %.6g uJ\n",
                r.radius_um.size(), r.light_uj, r.surface_loss_uj,
                r.light_uj > 0.0 ? 100.0 * r.surface_loss_uj / r.light_uj : 0.0, r.far_loss_uj);
  text += line;
  if (!r.pulses.empty()) {
    for (const PulseRecord& p : r.pulses[0]) {
      std::snprintf(line, sizeof line, "centre before pulse %d: %.4f K\n", p.pulse,
                    p.surface_temperature_before_k);
      text += line;
    }
  }
  return text;
}

}  // namespace kt
