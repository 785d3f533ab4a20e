// The table of a study: its comment line, column names and rows, and its file.
#include <string>

#include "engine/result_columns.h"
#include "engine/study.h"
#include "engine/study_parts.h"
#include "params/safe_save.h"

namespace kt {

std::string study_parts::header_line(const std::string& hash, std::size_t points,
                                     const StudyShard& shard) {
  return "# study " + hash + "; " + std::to_string(points) + " points; shard " +
         std::to_string(shard.index) + "/" + std::to_string(shard.count) + "\n";
}

using study_parts::float_text;
using study_parts::header_line;
using study_parts::shard_point_count;

namespace {

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

std::string study_columns_text(const StudyPlan& plan) {
  std::string out = "point";
  for (const ParameterField* field : plan.fields) {
    out += ',';
    out += field->name;
  }
  return out + result_column_names_text(plan.columns) + ",steps,end,note\n";
}

std::string study_row_text(const StudyRow& row, ResultColumnSet columns) {
  std::string out = std::to_string(row.index);
  for (float v : row.values) {
    out += ',';
    out += float_text(v);
  }
  // Only a run that ended by the end test or the step limit has results; a diverged one has
  // its steps, a refused or interrupted one neither.
  const bool has_results = row.end == StudyEnd::end_test || row.end == StudyEnd::step_limit;
  out += result_cells_text(has_results ? row.results : std::vector<double>{}, columns);
  out += ',';
  if (has_results || row.end == StudyEnd::diverged) out += std::to_string(row.steps);
  out += ',';
  out += study_end_text(row.end);
  out += ',';
  out += csv_field(row.note);
  out += '\n';
  return out;
}

std::string study_table_text(const std::string& hash, const StudyPlan& plan,
                             const StudyShard& shard, const std::vector<StudyRow>& rows) {
  std::string out = header_line(hash, study_point_count(plan), shard) + study_columns_text(plan);
  for (const StudyRow& row : rows) out += study_row_text(row, plan.columns);
  return out;
}

std::string study_table_file_name(const StudyShard& shard) {
  if (shard.count == 1) return "study.csv";
  return "study.shard-" + std::to_string(shard.index) + "-of-" + std::to_string(shard.count) +
         ".csv";
}

std::string write_study_table(const std::filesystem::path& path, const std::string& text) {
  if (const SaveResult saved = save_file_contents(path.string(), text); !saved)
    return "Cannot write the table \"" + path.string() + "\": " + saved.reason;
  return {};
}

}  // namespace kt
