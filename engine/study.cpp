#include "engine/study.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>

#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "engine/value_text.h"
#include "params/material_file.h"
#include "params/safe_save.h"
#include "params/setting_words.h"
#include "solver/model.h"
#include "solver/run_observer.h"

namespace kt {
namespace {

constexpr std::size_t kMaximumAxisValues = kMaximumListValues;

bool fits_field(double value) {
  return std::isfinite(value) && std::fabs(value) <= std::numeric_limits<float>::max();
}

std::string number_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string resolve_fields(const std::vector<std::string>& names,
                           std::vector<const ParameterField*>& fields) {
  for (const std::string& name : names) {
    const ParameterField* field = find_parameter_field(name);
    if (!field) {
      return "no field is named \"" + name + "\"; the fields are " + parameter_field_names(false);
    }
    if (std::find(fields.begin(), fields.end(), field) != fields.end())
      return "\"" + name + "\" is varied twice";
    fields.push_back(field);
  }
  return {};
}

// The shortest text that reads back as the same 32-bit value.
std::string float_text(float value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

struct Fnv1a {
  std::uint64_t value = 14695981039346656037ull;
  void add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
      value ^= bytes[i];
      value *= 1099511628211ull;
    }
  }
  void add(std::string_view text) {
    add(text.data(), text.size());
    add("\n", 1);
  }
  void add(float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
        static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    add(bytes, 4);
  }
  void add(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
      const unsigned char byte = static_cast<unsigned char>(v >> (8 * i));
      add(&byte, 1);
    }
  }
};

std::size_t shard_point_count(std::size_t total, const StudyShard& shard) {
  const std::size_t first = static_cast<std::size_t>(shard.index - 1);
  const std::size_t count = static_cast<std::size_t>(shard.count);
  return total > first ? (total - first + count - 1) / count : 0;
}

std::string header_line(const std::string& hash, std::size_t points, const StudyShard& shard) {
  return "# study " + hash + "; " + std::to_string(points) + " points; shard " +
         std::to_string(shard.index) + "/" + std::to_string(shard.count) + "\n";
}

}  // namespace

std::vector<float> parse_study_values(const std::string& text, std::string& error) {
  const std::vector<double> values = parse_value_list(text, error);
  if (values.empty()) return {};
  std::vector<float> out;
  out.reserve(values.size());
  for (double v : values) {
    if (!fits_field(v)) {
      error = number_text(v) + " does not fit a parameter field";
      return {};
    }
    out.push_back(static_cast<float>(v));
  }
  return out;
}

std::string make_product_study(const std::vector<std::string>& vary, StudyPlan& plan) {
  if (vary.empty()) return "a study needs at least one " + setting_text("vary", "NAME=VALUES");
  std::vector<std::string> names;
  std::vector<std::vector<double>> axes;
  for (const std::string& text : vary) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) return setting_text("vary", text) + ": give NAME=VALUES";
    std::string error;
    const std::vector<float> values = parse_study_values(text.substr(equals + 1), error);
    if (values.empty()) return setting_text("vary", text) + ": " + error;
    names.push_back(text.substr(0, equals));
    axes.emplace_back(values.begin(), values.end());
  }
  if (std::string error = make_axes_study(names, axes, plan); !error.empty()) {
    // Name the argument: the problem is with a field's name.
    for (std::size_t k = names.size(); k-- > 0;) {
      if (error.find("\"" + names[k] + "\"") != std::string::npos)
        return setting_text("vary", vary[k]) + ": " + error;
    }
    return error;
  }
  return {};
}

std::string make_axes_study(const std::vector<std::string>& names,
                            const std::vector<std::vector<double>>& axes, StudyPlan& plan) {
  StudyPlan made;
  if (names.empty()) return "a study needs at least one varied field";
  if (names.size() != axes.size())
    return std::to_string(names.size()) + " fields for " + std::to_string(axes.size()) +
           " value lists";
  if (std::string error = resolve_fields(names, made.fields); !error.empty()) return error;
  double total = 1;
  for (std::size_t k = 0; k < axes.size(); ++k) {
    if (axes[k].empty()) return "\"" + names[k] + "\" has no values";
    if (axes[k].size() > kMaximumAxisValues) {
      return "\"" + names[k] + "\" has more than " + std::to_string(kMaximumAxisValues) + " values";
    }
    std::vector<float> values;
    values.reserve(axes[k].size());
    for (double v : axes[k]) {
      if (!fits_field(v))
        return "\"" + names[k] + "\": " + number_text(v) + " does not fit a parameter field";
      if (std::string problem = field_value_problem(*made.fields[k], static_cast<float>(v));
          !problem.empty())
        return problem;
      values.push_back(static_cast<float>(v));
    }
    total *= static_cast<double>(values.size());
    if (total > static_cast<double>(kMaximumStudyPoints))
      return "the study would have more than " + std::to_string(kMaximumStudyPoints) + " points";
    made.axes.push_back(std::move(values));
  }
  plan = std::move(made);
  return {};
}

std::string make_listed_study(const std::vector<std::string>& names,
                              const std::vector<std::vector<double>>& points, StudyPlan& plan) {
  StudyPlan made;
  if (names.empty()) return "a listed study needs at least one field";
  if (std::string error = resolve_fields(names, made.fields); !error.empty()) return error;
  if (points.empty()) return "the study lists no point";
  if (points.size() > kMaximumStudyPoints)
    return "the study lists more than " + std::to_string(kMaximumStudyPoints) + " points";
  made.listed_points.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i].size() != names.size()) {
      return "point " + std::to_string(i) + " has " + std::to_string(points[i].size()) +
             " values for " + std::to_string(names.size()) + " fields";
    }
    std::vector<float> values;
    for (std::size_t j = 0; j < names.size(); ++j) {
      if (!fits_field(points[i][j]))
        return "point " + std::to_string(i) + ": " + names[j] + " is not a finite 32-bit number";
      if (std::string problem =
              field_value_problem(*made.fields[j], static_cast<float>(points[i][j]));
          !problem.empty())
        return "point " + std::to_string(i) + ": " + problem;
      values.push_back(static_cast<float>(points[i][j]));
    }
    made.listed_points.push_back(std::move(values));
  }
  plan = std::move(made);
  return {};
}

std::size_t study_point_count(const StudyPlan& plan) {
  if (plan.fields.empty()) return 0;
  if (plan.axes.empty()) return plan.listed_points.size();
  std::size_t count = 1;
  for (const std::vector<float>& axis : plan.axes) count *= axis.size();
  return count;
}

std::string parse_study_shard(const std::string& text, StudyShard& shard) {
  const std::size_t slash = text.find('/');
  long index = 0, count = 0;
  if (slash != std::string::npos) {
    const std::string a = text.substr(0, slash), b = text.substr(slash + 1);
    char* end_a = nullptr;
    char* end_b = nullptr;
    index = std::strtol(a.c_str(), &end_a, 10);
    count = std::strtol(b.c_str(), &end_b, 10);
    if (a.empty() || b.empty() || *end_a != '\0' || *end_b != '\0') index = count = 0;
  }
  if (count < 1 || count > kMaximumShards || index < 1 || index > count)
    return setting_text("shard") + " takes I/N with 1 <= I <= N (N up to " +
           std::to_string(kMaximumShards) + "), not \"" + text + "\"";
  shard.index = static_cast<int>(index);
  shard.count = static_cast<int>(count);
  return {};
}

StudyPoint study_point(const StudyPlan& plan, std::size_t index) {
  StudyPoint point;
  point.index = index;
  if (plan.axes.empty()) {
    point.values = plan.listed_points.at(index);
    return point;
  }
  point.values.resize(plan.axes.size());
  std::size_t rest = index;
  for (std::size_t k = plan.axes.size(); k-- > 0;) {
    const std::vector<float>& axis = plan.axes[k];
    point.values[k] = axis[rest % axis.size()];
    rest /= axis.size();
  }
  return point;
}

std::vector<StudyPoint> study_points(const StudyPlan& plan, const StudyShard& shard) {
  const std::size_t total = study_point_count(plan);
  std::vector<StudyPoint> points;
  points.reserve(shard_point_count(total, shard));
  for (std::size_t i = static_cast<std::size_t>(shard.index - 1); i < total;
       i += static_cast<std::size_t>(shard.count)) {
    points.push_back(study_point(plan, i));
  }
  return points;
}

std::string study_hash(const ParameterSet& base, const StudyPlan& plan) {
  Fnv1a h;
  h.add(std::string_view("kestrium study 1"));
  for (const ParameterField& field : parameter_fields()) {
    h.add(field.name);
    h.add(field_value(base, field));
  }
  for (const ParameterField* field : plan.fields) h.add(field->name);
  h.add(static_cast<std::uint64_t>(plan.refinement));
  if (plan.setup.scheme != Scheme::published)
    h.add(std::string_view(scheme_name(plan.setup.scheme)));
  if (plan.columns == ResultColumnSet::with_energy ||
      plan.columns == ResultColumnSet::train_with_energy)
    h.add(std::string_view("energy columns"));
  if (plan.setup.material) {
    h.add(std::string_view("material file"));
    h.add(std::string_view(plan.setup.material->text));
  }
  if (has_train_columns(plan.columns)) h.add(std::string_view("train columns"));
  if (!plan.setup.identity.empty()) {
    h.add(std::string_view("experiment"));
    h.add(std::string_view(plan.setup.identity));
  }
  h.add(std::string_view(plan.axes.empty() ? "listed" : "product"));
  const std::vector<std::vector<float>>& lists = plan.axes.empty() ? plan.listed_points : plan.axes;
  h.add(static_cast<std::uint64_t>(lists.size()));
  for (const std::vector<float>& list : lists) {
    h.add(static_cast<std::uint64_t>(list.size()));
    for (float v : list) h.add(v);
  }
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(h.value));
  return buffer;
}

const char* study_end_text(StudyEnd end) {
  switch (end) {
    case StudyEnd::end_test:
      return "end test";
    case StudyEnd::step_limit:
      return "step limit";
    case StudyEnd::diverged:
      return "diverged";
    case StudyEnd::refused:
      return "refused";
    case StudyEnd::interrupted:
      break;
  }
  return "interrupted";
}

ParameterSet study_point_parameters(const ParameterSet& base, const StudyPlan& plan,
                                    const StudyPoint& point) {
  ParameterSet p = base;
  for (std::size_t k = 0; k < plan.fields.size() && k < point.values.size(); ++k)
    set_field_value(p, *plan.fields[k], point.values[k]);
  return p;
}

std::string study_refusal_of_every_point(const ParameterSet& base, const StudyPlan& plan) {
  std::string first;
  const std::size_t total = study_point_count(plan);
  for (std::size_t i = 0; i < total; ++i) {
    std::string refusal =
        check_run_choices(study_point_parameters(base, plan, study_point(plan, i)));
    if (refusal.empty()) return {};
    if (first.empty()) first = std::move(refusal);
  }
  return first;
}

StudyRow run_study_point(const ParameterSet& base, const StudyPlan& plan, const StudyPoint& point,
                         const std::atomic<bool>* interrupt) {
  StudyRow row;
  row.index = point.index;
  row.values = point.values;
  const ParameterSet p = study_point_parameters(base, plan, point);
  if (std::string refusal = check_run_choices(p); !refusal.empty()) {
    row.end = StudyEnd::refused;
    row.note = std::move(refusal);
    return row;
  }
  if (interrupt && interrupt->load()) return row;

  // The run raises short pulses and lowers high fluences; the row says so.
  ParameterSet clamped = p;
  if (apply_run_clamps(clamped)) {
    if (clamped.pulse_width != p.pulse_width)
      row.note = "pulse width raised to " + float_text(clamped.pulse_width) + " ns";
    if (clamped.fluence != p.fluence) {
      if (!row.note.empty()) row.note += "; ";
      row.note += "fluence lowered to " + float_text(clamped.fluence) + " mJ/cm^2";
    }
  }

  SharedParameters shared;
  shared.values = p;
  HeadlessRun records;
  RunOptions options;
  options.write_profile_files = false;
  options.append_kinetics_line = false;
  options.refinement = plan.refinement;
  plan.setup.apply(options);
  options.interrupt = interrupt;
  const RunOutcome o = records.run(shared, options);

  row.steps = o.step_count;
  switch (o.end) {
    case RunEnd::end_test:
    case RunEnd::step_limit:
      row.end = o.end == RunEnd::end_test ? StudyEnd::end_test : StudyEnd::step_limit;
      row.results = result_values(o, plan.columns);
      break;
    case RunEnd::diverged: {
      // A material table left during the run is a refusal, with the step it happened at.
      row.end = o.material_range_refusal ? StudyEnd::refused : StudyEnd::diverged;
      char buffer[96];
      std::snprintf(buffer, sizeof buffer, "%s at step %d (t = %.6g ns): ",
                    o.material_range_refusal ? "refused" : "diverged", o.step_count,
                    o.diverged_time_ns);
      row.note = buffer + o.divergence_cause;
      break;
    }
    case RunEnd::not_started:
      row.end = StudyEnd::refused;
      row.note = o.not_started_reason;
      row.steps = 0;
      break;
    case RunEnd::stop:
      row.end = StudyEnd::interrupted;
      break;
  }
  return row;
}

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

std::string check_study_run_size(const StudyPlan& plan, const StudyShard& shard) {
  const std::size_t points = shard_point_count(study_point_count(plan), shard);
  if (points <= kMaximumRunPoints) return {};
  const std::size_t shards_needed =
      (study_point_count(plan) + kMaximumRunPoints - 1) / kMaximumRunPoints;
  return "the study would run " + std::to_string(points) +
         " points at once; one run holds at most " + std::to_string(kMaximumRunPoints) +
         " points. Split it with " + setting_text("shard", "I/N") + ", N at least " +
         std::to_string(shards_needed);
}

StudyResult run_study_points(const ParameterSet& base, const StudyPlan& plan,
                             const std::vector<std::size_t>& indices, int jobs,
                             const std::atomic<bool>& interrupt, const StudyProgress& progress,
                             const ThreadStarter& start_thread) {
  StudyResult result;
  const std::size_t total = indices.size();
  const std::size_t point_count = study_point_count(plan);
  result.rows.resize(total);
  std::atomic<std::size_t> next{0};
  std::mutex lock;  // guards `done` and the progress calls
  std::size_t done = 0;
  auto worker = [&] {
    for (std::size_t k = next++; k < total && !interrupt.load(); k = next++) {
      if (indices[k] >= point_count) continue;  // not a point of the study: stays interrupted
      StudyRow row = run_study_point(base, plan, study_point(plan, indices[k]), &interrupt);
      std::lock_guard<std::mutex> guard(lock);
      result.rows[k] = std::move(row);
      ++done;
      if (progress) progress(done, total);
    }
  };
  ParallelRun parallel;
  parallel.jobs = static_cast<int>(std::min<std::size_t>(
      static_cast<std::size_t>(std::max(1, jobs)), std::max<std::size_t>(total, 1)));
  parallel.start_thread = start_thread;
  if (std::string problem = run_in_parallel(parallel, worker); !problem.empty()) {
    result.error = std::move(problem);
    result.interrupted = true;
    return result;
  }
  result.interrupted =
      done < total || std::any_of(result.rows.begin(), result.rows.end(),
                                  [](const StudyRow& r) { return r.end == StudyEnd::interrupted; });
  return result;
}

std::vector<std::size_t> study_shard_indices(const StudyPlan& plan, const StudyShard& shard) {
  std::vector<std::size_t> indices(shard_point_count(study_point_count(plan), shard));
  for (std::size_t k = 0; k < indices.size(); ++k) {
    indices[k] =
        static_cast<std::size_t>(shard.index - 1) + k * static_cast<std::size_t>(shard.count);
  }
  return indices;
}

StudyResult run_study(const ParameterSet& base, const StudyPlan& plan, const StudyShard& shard,
                      int jobs, const std::atomic<bool>& interrupt, const StudyProgress& progress,
                      const ThreadStarter& start_thread) {
  return run_study_points(base, plan, study_shard_indices(plan, shard), jobs, interrupt, progress,
                          start_thread);
}

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
       {ResultColumnSet::train_with_energy, ResultColumnSet::with_energy, ResultColumnSet::train}) {
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
