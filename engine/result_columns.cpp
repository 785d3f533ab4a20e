#include "engine/result_columns.h"

#include <cstdio>

namespace kt {

std::span<const ResultColumn> result_columns() {
  static constexpr ResultColumn kColumns[] = {
      {"surface_recession_nm", "nm", [](const RunOutcome& o) { return o.surface_recession_nm; }},
      {"volume_depth_nm", "nm", [](const RunOutcome& o) { return o.volume_depth_nm; }},
      {"total_depth_nm", "nm", [](const RunOutcome& o) { return o.total_depth_nm; }},
      {"peak_surface_temperature_K", "K",
       [](const RunOutcome& o) { return o.peak_surface_temperature_k; }},
      {"peak_front_velocity_cm_per_s", "cm/s",
       [](const RunOutcome& o) { return o.peak_front_velocity_cm_s; }},
  };
  return kColumns;
}

std::vector<double> result_values(const RunOutcome& outcome) {
  std::vector<double> values;
  for (const ResultColumn& column : result_columns()) values.push_back(column.value(outcome));
  return values;
}

std::string result_column_names_text() {
  std::string out;
  for (const ResultColumn& column : result_columns()) {
    out += ',';
    out += column.name;
  }
  return out;
}

std::string result_cells_text(const std::vector<double>& values) {
  std::string out;
  char cell[40];
  for (std::size_t k = 0; k < result_columns().size(); ++k) {
    out += ',';
    if (k < values.size()) {
      std::snprintf(cell, sizeof cell, "%.10g", values[k]);
      out += cell;
    }
  }
  return out;
}

}  // namespace kt
