#include "engine/result_columns.h"

#include <cstdio>

namespace kt {

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
  constexpr std::size_t kResultCount = 5;
  const std::span<const ResultColumn> all(kColumns);
  return set == ResultColumnSet::with_energy ? all : all.first(kResultCount);
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
