// The points of a study, their runs and the runs of a shard or a chunk.
#include "engine/study.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>

#include "engine/parallel_runner.h"
#include "engine/result_columns.h"
#include "engine/study_parts.h"
#include "engine/value_text.h"
#include "params/setting_words.h"
#include "solver/model.h"
#include "solver/run_observer.h"

namespace kt {

namespace study_parts {

std::string float_text(float value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::size_t shard_point_count(std::size_t total, const StudyShard& shard) {
  const std::size_t first = static_cast<std::size_t>(shard.index - 1);
  const std::size_t count = static_cast<std::size_t>(shard.count);
  return total > first ? (total - first + count - 1) / count : 0;
}

}  // namespace study_parts

using study_parts::float_text;
using study_parts::shard_point_count;

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

std::string start_listed_study(const std::vector<std::string>& names, StudyPlan& plan) {
  StudyPlan made;
  if (names.empty()) return "a listed study needs at least one field";
  if (std::string error = resolve_fields(names, made.fields); !error.empty()) return error;
  plan = std::move(made);
  return {};
}

std::string add_listed_point(const std::vector<double>& values, StudyPlan& plan) {
  const std::size_t fields = plan.fields.size();
  if (values.size() != fields)
    return std::to_string(values.size()) + " values for " + std::to_string(fields) + " fields";
  if (plan.listed_points.size() >= kMaximumStudyPoints)
    return "the study lists more than " + std::to_string(kMaximumStudyPoints) + " points";
  std::vector<float> point;
  point.reserve(fields);
  for (std::size_t j = 0; j < fields; ++j) {
    if (!fits_field(values[j]))
      return std::string(plan.fields[j]->name) + " is not a finite 32-bit number";
    if (std::string problem = field_value_problem(*plan.fields[j], static_cast<float>(values[j]));
        !problem.empty())
      return problem;
    point.push_back(static_cast<float>(values[j]));
  }
  plan.listed_points.push_back(std::move(point));
  return {};
}

std::string make_listed_study(const std::vector<std::string>& names,
                              const std::vector<std::vector<double>>& points, StudyPlan& plan) {
  StudyPlan made;
  if (std::string error = start_listed_study(names, made); !error.empty()) return error;
  if (points.empty()) return "the study lists no point";
  if (points.size() > kMaximumStudyPoints)
    return "the study lists more than " + std::to_string(kMaximumStudyPoints) + " points";
  made.listed_points.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (std::string problem = add_listed_point(points[i], made); !problem.empty()) {
      const bool count = points[i].size() != names.size();
      return "point " + std::to_string(i) + (count ? " has " : ": ") + problem;
    }
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

}  // namespace kt
