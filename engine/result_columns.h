// The results of a run as columns: the one table from which the sweep's CSV, the study's table
// and the Python arrays take their result columns, in this order. A new column is one line of
// result_columns() in result_columns.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "solver/calculation_run.h"

namespace kt {

struct ResultColumn {
  std::string_view name;   // the column's name, its unit included: "total_depth_nm"
  std::string_view label;  // for a reader: "total depth"
  std::string_view unit;   // "nm", "K", "cm/s"
  double (*value)(const RunOutcome& outcome);
};

// The depths and peaks alone, or followed by the energy ledger (mJ/cm^2: reflected, screened
// (these two and light_in add up to the incident fluence), light_in, stored,
// ablation_sensible, ablation_latent, reaction, far_boundary, linear_loss, residual). The
// train sets add, after the depths and peaks (which a train holds per pulse, as means), the
// first pulse's total depth and the mean total depth per pulse. The error sets (runs made to a
// tolerance) end in total_depth_error_nm and peak_surface_temperature_error_K, empty where a
// run has no estimate.
enum class ResultColumnSet {
  results,
  with_energy,
  train,
  train_with_energy,
  errors,
  with_energy_errors,
  train_errors,
  train_with_energy_errors
};

// The set with the train's columns added (or taken away), the other columns as they were.
ResultColumnSet with_train_columns(ResultColumnSet set, bool train = true);
bool has_train_columns(ResultColumnSet set);
// The same for the error columns.
ResultColumnSet with_error_columns(ResultColumnSet set, bool errors = true);
bool has_error_columns(ResultColumnSet set);
bool has_energy_columns(ResultColumnSet set);

// Every result column of the set, in table order.
std::span<const ResultColumn> result_columns(ResultColumnSet set = ResultColumnSet::results);

// The column values of a run that has results (ended by the end test or the step limit).
std::vector<double> result_values(const RunOutcome& outcome,
                                  ResultColumnSet set = ResultColumnSet::results);

// ",name1,name2,..." for the header line.
std::string result_column_names_text(ResultColumnSet set = ResultColumnSet::results);

// ",v1,v2,..." with each value as %.10g; with no values (a run without results) as many empty
// cells.
std::string result_cells_text(const std::vector<double>& values,
                              ResultColumnSet set = ResultColumnSet::results);

}  // namespace kt
