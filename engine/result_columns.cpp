#include "engine/result_columns.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

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

// An estimated error, or NaN (an empty cell) for a run without one.
double estimated(const RunOutcome& o, double value) {
  return o.error.estimated ? value : std::numeric_limits<double>::quiet_NaN();
}

// The sets as bits: 1 energy, 2 train, 4 errors.
constexpr unsigned kEnergyBit = 1, kTrainBit = 2, kErrorBit = 4;

unsigned bits(ResultColumnSet set) {
  return static_cast<unsigned>(set);
}

ResultColumnSet with_bit(ResultColumnSet set, unsigned bit, bool on) {
  return static_cast<ResultColumnSet>(on ? bits(set) | bit : bits(set) & ~bit);
}

}  // namespace

ResultColumnSet with_train_columns(ResultColumnSet set, bool train) {
  return with_bit(set, kTrainBit, train);
}

bool has_train_columns(ResultColumnSet set) {
  return (bits(set) & kTrainBit) != 0;
}

ResultColumnSet with_error_columns(ResultColumnSet set, bool errors) {
  return with_bit(set, kErrorBit, errors);
}

bool has_error_columns(ResultColumnSet set) {
  return (bits(set) & kErrorBit) != 0;
}

bool has_energy_columns(ResultColumnSet set) {
  return (bits(set) & kEnergyBit) != 0;
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
      {"energy_reflected_mJ_per_cm2", "reflected by the surface", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.reflected; }},
      {"energy_screened_mJ_per_cm2", "screened by the plume", "mJ/cm^2",
       [](const RunOutcome& o) { return o.energy.screened; }},
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
      {"total_depth_error_nm", "total depth error", "nm",
       [](const RunOutcome& o) { return estimated(o, o.error.total_depth_error_nm); }},
      {"peak_surface_temperature_error_K", "peak temperature error", "K",
       [](const RunOutcome& o) { return estimated(o, o.error.peak_surface_temperature_error_k); }},
  };
  constexpr std::size_t kResultCount = 5, kTrainCount = 2, kEnergyCount = 10;
  const std::span<const ResultColumn> all(kColumns);
  // Each set once, in table order.
  static const auto kSets = [&] {
    std::array<std::vector<ResultColumn>, 8> sets;
    for (std::size_t k = 0; k < all.size(); ++k) {
      const bool train = k >= kResultCount && k < kResultCount + kTrainCount;
      const bool energy =
          k >= kResultCount + kTrainCount && k < kResultCount + kTrainCount + kEnergyCount;
      const bool error = k >= kResultCount + kTrainCount + kEnergyCount;
      for (unsigned b = 0; b < sets.size(); ++b) {
        const auto s = static_cast<ResultColumnSet>(b);
        if ((!train || has_train_columns(s)) && (!energy || has_energy_columns(s)) &&
            (!error || has_error_columns(s)))
          sets[b].push_back(all[k]);
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
    if (k < values.size() && !std::isnan(values[k])) {
      std::snprintf(cell, sizeof cell, "%.10g", values[k]);
      out += cell;
    }
  }
  return out;
}

}  // namespace kt
