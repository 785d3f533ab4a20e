#include "engine/result_columns.h"

#include <array>
#include <cstdio>

namespace kt {

namespace {

// The first pulse's total depth; a single pulse's for a run that is not a train.
double first_pulse_depth(const RunOutcome& o) {
  return o.pulses.empty() ? o.total_depth_nm : o.pulses.front().total_depth_nm;
}

// The mean total depth per pulse (the total depth of a train, see RunOutcome).
double mean_depth_per_pulse(const RunOutcome& o) {
  return o.total_depth_nm;
}

}  // namespace

ResultColumnSet with_train_columns(ResultColumnSet set, bool train) {
  const bool energy =
      set == ResultColumnSet::with_energy || set == ResultColumnSet::train_with_energy;
  if (train) return energy ? ResultColumnSet::train_with_energy : ResultColumnSet::train;
  return energy ? ResultColumnSet::with_energy : ResultColumnSet::results;
}

bool has_train_columns(ResultColumnSet set) {
  return set == ResultColumnSet::train || set == ResultColumnSet::train_with_energy;
}

std::span<const ResultColumn> result_columns(ResultColumnSet set) {
  static constexpr ResultColumn kColumns[] = {
      {"surface_recession_nm", "surface recession", "nm",
       [](const RunOutcome& o) { return o.surface_recession_nm; }},
      {"volume_depth_nm", "volume depth", "nm",
       [](const RunOutcome& o) { return o.volume_depth_nm; }},
      {"total_depth_nm", "total depth", "nm", [](const RunOutcome& o) { return o.total_depth_nm; }},
      {"peak_surface_temperature_K", "peak surface temperature", "K",
       [](const RunOutcome& o) { return o.peak_surface_temperature_k; }},
      {"peak_front_velocity_cm_per_s", "peak front velocity", "cm/s",
       [](const RunOutcome& o) { return o.peak_front_velocity_cm_s; }},
      {"first_pulse_depth_nm", "first pulse's total depth", "nm", first_pulse_depth},
      {"mean_depth_per_pulse_nm", "mean total depth per pulse", "nm", mean_depth_per_pulse},
      {"energy_light_in_mJ_per_cm2", "light into the material", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.light_in; }},
      {"energy_stored_mJ_per_cm2", "heat stored", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.stored; }},
      {"energy_ablation_sensible_mJ_per_cm2", "carried off, sensible", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.ablation_sensible; }},
      {"energy_ablation_latent_mJ_per_cm2", "carried off, ablation heat", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.ablation_latent; }},
      {"energy_reaction_mJ_per_cm2", "taken by the reaction", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.reaction; }},
      {"energy_far_boundary_mJ_per_cm2", "out at the far boundary", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.far_boundary; }},
      {"energy_linear_loss_mJ_per_cm2", "linear heat loss", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.linear_loss; }},
      {"energy_residual_mJ_per_cm2", "energy residual", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.residual; }},
  };
  constexpr std::size_t kResultCount = 5, kTrainCount = 2;
  const std::span<const ResultColumn> all(kColumns);
  // Each set once, in table order.
  static const auto kSets = [&] {
    std::array<std::vector<ResultColumn>, 4> sets;
    for (std::size_t k = 0; k < all.size(); ++k) {
      const bool train = k >= kResultCount && k < kResultCount + kTrainCount;
      const bool energy = k >= kResultCount + kTrainCount;
      for (ResultColumnSet s : {ResultColumnSet::results, ResultColumnSet::with_energy,
                                ResultColumnSet::train, ResultColumnSet::train_with_energy}) {
        if ((!train || has_train_columns(s)) &&
            (!energy || with_train_columns(s, false) == ResultColumnSet::with_energy))
          sets[static_cast<std::size_t>(s)].push_back(all[k]);
      }
    }
    return sets;
  }();
  return kSets[static_cast<std::size_t>(set)];
}

std::vector<double> result_values(const RunOutcome& outcome, ResultColumnSet set) {
  std::vector<double> values;
  for (const ResultColumn& column : result_columns(set)) values.push_back(column.value(outcome));
  return values;
}

std::string result_column_names_text(ResultColumnSet set) {
  std::string out;
  for (const ResultColumn& column : result_columns(set)) {
    out += ',';
    out += column.name;
  }
  return out;
}

std::string result_cells_text(const std::vector<double>& values, ResultColumnSet set) {
  std::string out;
  char cell[40];
  for (std::size_t k = 0; k < result_columns(set).size(); ++k) {
    out += ',';
    if (k < values.size()) {
      std::snprintf(cell, sizeof cell, "%.10g", values[k]);
      out += cell;
    }
  }
  return out;
}

}  // namespace kt
