// The merge of a study's shard tables: each table parsed and checked row by row, then joined
// into the table of the whole study.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/result_columns.h"
#include "engine/study.h"
#include "engine/study_parts.h"

namespace kt {

using study_parts::float_text;
using study_parts::header_line;
using study_parts::shard_point_count;

namespace {

struct ParsedShard {
  const ShardTable* table = nullptr;
  std::string hash;
  std::size_t points = 0;
  StudyShard shard;
  std::string columns;
  std::vector<std::string_view> rows;
};

// The columns after the varied fields: the results, then steps, end and note.
std::string trailing_columns_text(ResultColumnSet columns) {
  return result_column_names_text(columns) + ",steps,end,note\n";
}

// The cells of a table row (its "\n" dropped); a quoted cell as written, "" read as ".
std::vector<std::string> row_cells(std::string_view row) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i + 1 < row.size(); ++i) {
    const char c = row[i];
    if (quoted) {
      if (c == '"' && i + 2 < row.size() && row[i + 1] == '"') {
        cells.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cells.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

// Empty when `row` is a row the study writes, byte for byte: the point index, one value per
// varied field, the results (or none, as its end says), the steps, the end and the note.
std::string check_row(std::string_view row, std::size_t varied_count, ResultColumnSet columns) {
  const std::vector<std::string> cells = row_cells(row);
  const std::size_t result_count = result_columns(columns).size();
  const std::size_t after_results = varied_count + 1 + result_count;  // the steps cell
  if (cells.size() != after_results + 3) {
    return "the row has " + std::to_string(cells.size()) + " cells; the columns are " +
           std::to_string(after_results + 3) + " (a row cut short or joined)";
  }
  StudyRow parsed;
  parsed.index = std::strtoull(cells[0].c_str(), nullptr, 10);
  for (std::size_t k = 0; k < varied_count; ++k) {
    float v = 0.0f;
    const std::string& cell = cells[1 + k];
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), v);
    if (ec != std::errc() || end != cell.data() + cell.size() || !std::isfinite(v))
      return "the value \"" + cell + "\" of varied field " + std::to_string(k + 1) +
             " is not a finite number";
    parsed.values.push_back(v);
  }
  const std::string& end_word = cells[after_results + 1];
  bool known_end = false;
  for (StudyEnd e :
       {StudyEnd::end_test, StudyEnd::step_limit, StudyEnd::diverged, StudyEnd::refused}) {
    if (end_word == study_end_text(e)) {
      parsed.end = e;
      known_end = true;
    }
  }
  if (!known_end) return "the end \"" + end_word + "\" is not one a study writes";
  for (std::size_t r = 0; r < result_count; ++r) {
    const std::string& cell = cells[varied_count + 1 + r];
    const double value = cell.empty() ? 0.0 : std::strtod(cell.c_str(), nullptr);
    // A study writes no result that is not a finite number (a diverged point has none).
    if (!std::isfinite(value))
      return "the result \"" + cell + "\" of column " +
             std::string(result_columns(columns)[r].name) + " is not a finite number";
    parsed.results.push_back(value);
  }
  const std::string& steps = cells[after_results];
  parsed.steps = static_cast<std::int32_t>(std::strtol(steps.c_str(), nullptr, 10));
  parsed.note = cells[after_results + 2];
  if (study_row_text(parsed, columns) != row)
    return "the row is not as the study writes it (a value, a result or the note was edited)";
  return {};
}

std::string parse_shard_table(const ShardTable& table, ParsedShard& parsed) {
  const std::string& text = table.text;
  parsed.table = &table;
  const std::size_t first_end = text.find('\n');
  const std::string first = text.substr(0, first_end);
  char hash[17] = {};
  unsigned long long points = 0;
  int index = 0, count = 0;
  if (first_end == std::string::npos ||
      std::sscanf(first.c_str(), "# study %16[0-9a-f]; %llu points; shard %d/%d", hash, &points,
                  &index, &count) != 4 ||
      count < 1 || count > kMaximumShards || index < 1 || index > count ||
      points > kMaximumStudyPoints) {
    return table.name +
           " is not a study table (its first line is not \"# study HASH; N points; shard I/N\" "
           "with N up to " +
           std::to_string(kMaximumStudyPoints) + " points and up to " +
           std::to_string(kMaximumShards) + " shards)";
  }
  parsed.hash = hash;
  parsed.points = static_cast<std::size_t>(points);
  parsed.shard = StudyShard{index, count};
  if (header_line(parsed.hash, parsed.points, parsed.shard) != first + "\n")
    return table.name + ": the first line is damaged";
  const std::size_t columns_end = text.find('\n', first_end + 1);
  if (columns_end == std::string::npos) return table.name + " has no column line";
  parsed.columns = text.substr(first_end + 1, columns_end - first_end);
  // A table ends in the result columns of its set (with the energy ledger's, a train's).
  const auto ends_with = [&parsed](const std::string& tail) {
    return parsed.columns.size() >= tail.size() &&
           parsed.columns.compare(parsed.columns.size() - tail.size(), tail.size(), tail) == 0;
  };
  ResultColumnSet columns = ResultColumnSet::results;
  std::string trailing = trailing_columns_text(columns);
  for (ResultColumnSet set :
       {ResultColumnSet::train_with_energy_errors, ResultColumnSet::with_energy_errors,
        ResultColumnSet::train_errors, ResultColumnSet::errors, ResultColumnSet::train_with_energy,
        ResultColumnSet::with_energy, ResultColumnSet::train}) {
    if (ends_with(trailing_columns_text(set))) {
      columns = set;
      trailing = trailing_columns_text(set);
      break;
    }
  }
  if (parsed.columns.rfind("point,", 0) != 0 || !ends_with(trailing))
    return table.name + ": the column line is damaged";
  const std::size_t varied_count =
      static_cast<std::size_t>(std::count(parsed.columns.begin(), parsed.columns.end(), ',')) -
      static_cast<std::size_t>(std::count(trailing.begin(), trailing.end(), ','));
  if (text.back() != '\n') return table.name + " ends in the middle of a row";

  const std::size_t expected = shard_point_count(parsed.points, parsed.shard);
  std::size_t position = columns_end + 1;
  std::size_t point = static_cast<std::size_t>(index - 1);
  while (position < text.size()) {
    const std::size_t end = text.find('\n', position);
    const std::string_view row(text.data() + position, end + 1 - position);
    const std::string index_text = std::to_string(point);
    if (parsed.rows.size() >= expected ||
        row.substr(0, index_text.size() + 1) != index_text + ",") {
      return table.name + ": row " + std::to_string(parsed.rows.size() + 1) +
             " is not the row of point " + std::to_string(point) + " (shard " +
             std::to_string(index) + "/" + std::to_string(count) + " of " +
             std::to_string(parsed.points) + " points holds " + std::to_string(expected) + " rows)";
    }
    if (std::string problem = check_row(row, varied_count, columns); !problem.empty()) {
      return table.name + ", line " + std::to_string(parsed.rows.size() + 3) + " (point " +
             std::to_string(point) + "): " + problem;
    }
    parsed.rows.push_back(row);
    point += static_cast<std::size_t>(count);
    position = end + 1;
  }
  if (parsed.rows.size() != expected) {
    return table.name + " holds " + std::to_string(parsed.rows.size()) + " rows; shard " +
           std::to_string(index) + "/" + std::to_string(count) + " of " +
           std::to_string(parsed.points) + " points holds " + std::to_string(expected);
  }
  return {};
}

}  // namespace

namespace {

// Empty when the shard comes from `study` and every row holds the varied values of its point
// as the study writes them; otherwise the first difference.
std::string check_shard_points(const ParsedShard& p, const MergedStudy& study) {
  const StudyPlan& plan = *study.plan;
  const std::string& name = p.table->name;
  if (p.hash != study.hash) {
    return name + " is a table of study " + p.hash + ", not of the study given (study " +
           study.hash + "): the parameter file or an option that defines the points differs";
  }
  if (p.points != study_point_count(plan) || p.columns != study_columns_text(plan))
    return name + ": the first or the column line is not that of study " + study.hash;
  const std::size_t count = static_cast<std::size_t>(p.shard.count);
  for (std::size_t r = 0; r < p.rows.size(); ++r) {
    const StudyPoint point =
        study_point(plan, static_cast<std::size_t>(p.shard.index - 1) + r * count);
    const std::vector<std::string> cells = row_cells(p.rows[r]);
    for (std::size_t k = 0; k < plan.fields.size(); ++k) {
      const std::string expected = float_text(point.values[k]);
      if (cells[1 + k] == expected) continue;
      return name + ", line " + std::to_string(r + 3) + ", column " + std::to_string(k + 2) + " (" +
             std::string(plan.fields[k]->name) + ", point " + std::to_string(point.index) +
             "): \"" + cells[1 + k] + "\", but the study's point has \"" + expected + "\"";
    }
  }
  return {};
}

std::string merge_parsed_tables(const std::vector<ShardTable>& tables, const MergedStudy* study,
                                std::string& merged) {
  if (tables.empty()) return "no shard tables to merge";
  std::vector<ParsedShard> parsed(tables.size());
  for (std::size_t t = 0; t < tables.size(); ++t) {
    if (std::string error = parse_shard_table(tables[t], parsed[t]); !error.empty()) return error;
    if (!study) continue;
    if (std::string error = check_shard_points(parsed[t], *study); !error.empty()) return error;
  }
  const ParsedShard& first = parsed.front();
  for (const ParsedShard& p : parsed) {
    if (p.hash != first.hash || p.points != first.points || p.columns != first.columns) {
      return p.table->name + " belongs to another study than " + first.table->name + " (study " +
             p.hash + ", not " + first.hash + ")";
    }
    if (p.shard.count != first.shard.count) {
      return p.table->name + " is shard " + std::to_string(p.shard.index) + "/" +
             std::to_string(p.shard.count) + " but " + first.table->name + " is shard " +
             std::to_string(first.shard.index) + "/" + std::to_string(first.shard.count) +
             "; the shards come from different splits";
    }
  }
  const int count = first.shard.count;
  std::vector<const ParsedShard*> by_shard(static_cast<std::size_t>(count), nullptr);
  for (const ParsedShard& p : parsed) {
    const ParsedShard*& slot = by_shard[static_cast<std::size_t>(p.shard.index - 1)];
    if (slot) {
      return "shard " + std::to_string(p.shard.index) + "/" + std::to_string(count) +
             " is given twice: " + slot->table->name + " and " + p.table->name;
    }
    slot = &p;
  }
  std::string missing;
  int missing_count = 0;
  for (int i = 1; i <= count; ++i) {
    if (by_shard[static_cast<std::size_t>(i - 1)]) continue;
    // The first ten are named; a message is not a listing of a million shards.
    if (missing_count++ >= 10) continue;
    if (missing_count > 1) missing += ", ";
    missing += std::to_string(i) + "/" + std::to_string(count) + " (" +
               study_table_file_name(StudyShard{i, count}) + ")";
  }
  if (missing_count > 10) missing += " and " + std::to_string(missing_count - 10) + " more";
  if (missing_count > 0) {
    return "study " + first.hash + (missing_count == 1 ? ": shard " : ": shards ") + missing +
           (missing_count == 1 ? " is missing" : " are missing");
  }

  std::string out = header_line(first.hash, first.points, StudyShard{}) + first.columns;
  for (std::size_t i = 0; i < first.points; ++i) {
    const ParsedShard& p = *by_shard[i % static_cast<std::size_t>(count)];
    out += p.rows[i / static_cast<std::size_t>(count)];
  }
  merged = std::move(out);
  return {};
}

}  // namespace

std::string merge_study_tables(const std::vector<ShardTable>& tables, std::string& merged) {
  return merge_parsed_tables(tables, nullptr, merged);
}

std::string merge_study_tables(const std::vector<ShardTable>& tables, const MergedStudy& study,
                               std::string& merged) {
  return merge_parsed_tables(tables, &study, merged);
}

}  // namespace kt
