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
  std::string_view name;  // the column's name, its unit included: "total_depth_nm"
  std::string_view unit;  // "nm", "K", "cm/s"
  double (*value)(const RunOutcome& outcome);
};

// Every result column, in table order.
std::span<const ResultColumn> result_columns();

// The column values of a run that has results (ended by the end test or the step limit).
std::vector<double> result_values(const RunOutcome& outcome);

// ",name1,name2,..." for the header line.
std::string result_column_names_text();

// ",v1,v2,..." with each value as %.10g; with no values (a run without results) as many empty
// cells.
std::string result_cells_text(const std::vector<double>& values);

}  // namespace kt
