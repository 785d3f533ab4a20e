#include "engine/fit_request.h"

#include <algorithm>
#include <cmath>

#include "engine/model_runs.h"
#include "engine/parallel_runner.h"
#include "params/setting_words.h"
#include "solver/calculation_run.h"

namespace kt {
namespace {

std::vector<double> log_grid(double from, double to, int count) {
  std::vector<double> out;
  for (int i = 0; i < count; ++i)
    out.push_back(from * std::exp(std::log(to / from) * i / (count - 1)));
  return out;
}

}  // namespace

Prepared<ModelFitPlan> ModelFitRequest::prepare() const {
  if (vary.empty() && vary_each.empty() && !analyse)
    return Refusal{"fit needs the fields to vary (or " + setting_text("analyse") +
                       " for the Beer-Lambert analysis alone)",
                   "vary", ""};
  if (!(min_depth_nm >= 0.0))
    return Refusal{setting_text("min_depth") + " takes a depth in nm, 0 or more", "min_depth", ""};
  if (max_runs < 1)
    return Refusal{setting_text("max_runs") + " must be at least 1", "max_runs", ""};
  ModelFitPlan plan;
  plan.setup = setup;
  plan.model = setup_model(setup);
  plan.analyse = analyse;
  plan.separately = separately;
  plan.min_depth_nm = min_depth_nm;
  FitRequest& r = plan.request;
  r.parameters = parameters;
  if (std::string refusal = setup.apply_material_values(r.parameters); !refusal.empty())
    return Refusal{refusal, "material", ""};
  if (std::string refusal = check_run_choices(r.parameters); !refusal.empty())
    return Refusal{(parameter_file.empty() ? "" : parameter_file + ": ") + refusal, "", ""};
  r.data = data;
  if (std::string refusal = check_data_pulses(r.data, r.parameters, setup.scheme); !refusal.empty())
    return Refusal{refusal, "", ""};
  for (const bool each : {false, true}) {
    const char* key = each ? "vary_each" : "vary";
    for (const std::string& name : each ? vary_each : vary) {
      std::string error;
      const ParameterField* field = find_fit_field(name, error);
      if (!field) return Refusal{setting_text(key) + ": " + error, key, ""};
      FitVariable variable;
      // A field without a default range (its value is 0) takes the range given for it.
      const bool bounded = std::any_of(bounds.begin(), bounds.end(),
                                       [&](const auto& b) { return b.first == field->name; });
      if (!default_fit_variable(r.parameters, *field, variable, error) && !bounded)
        return Refusal{error, "bounds", ""};
      if (!each) {
        r.variables.push_back(variable);
        continue;
      }
      for (const FitVariable& v : per_set_variables(variable, r.data)) r.variables.push_back(v);
    }
  }
  for (const auto& [name, range] : bounds) {
    bool named = false;
    for (FitVariable& v : r.variables) {
      if (v.field->name != name) continue;
      named = true;
      v.lower = range.first;
      v.upper = range.second;
    }
    if (!named)
      return Refusal{setting_text("bounds") + " names \"" + name + "\", which is not in " +
                         setting_text("vary") + " or " + setting_text("vary_each"),
                     "bounds", ""};
  }
  r.jobs = capped_jobs(jobs);
  r.max_runs = max_runs;
  r.method = method;
  r.bias_reference = bias_reference_model(setup);
  r.early_model = early_fit_model(setup, early_tolerance);
  if (!r.variables.empty()) {
    if (std::string problem = check_fit_request(r); !problem.empty())
      return Refusal{problem, "vary", ""};
  }
  return plan;
}

ModelFitResult ModelFitPlan::execute(const std::atomic<bool>& interrupt,
                                     const FitProgress& progress) const {
  ModelFitResult result;
  if (analyse) {
    result.beer_lambert =
        fit_beer_lambert(request.data.points, min_depth_nm, request.data.has_sigma);
    for (std::size_t k = 0; several_sets() && k < request.data.datasets.size(); ++k) {
      const MeasuredData one = measured_set(request.data, static_cast<int>(k));
      result.sets.beer_lambert.push_back(fit_beer_lambert(one.points, min_depth_nm, one.has_sigma));
    }
  }
  if (!fits()) return result;
  result.report = fit_model(request, model, interrupt, progress);
  result.report.model_name = setup.model_name();
  if (result.report.model_unavailable || !separately || interrupt.load()) return result;
  result.sets.separately = fit_each_set(request, model, interrupt);
  return result;
}

std::string ModelFitPlan::model_curve(const std::vector<std::size_t>& rows,
                                      const ParameterSet& parameters, int pulses,
                                      const std::atomic<bool>& interrupt,
                                      std::vector<double>& fluences,
                                      std::vector<double>& depths) const {
  const std::vector<MeasuredPoint>& points = request.data.points;
  double f_min = points[rows.front()].fluence, f_max = f_min;
  for (std::size_t i : rows) {
    f_min = std::min(f_min, points[i].fluence);
    f_max = std::max(f_max, points[i].fluence);
  }
  fluences = log_grid(f_min / 1.5, std::min(f_max * 1.5, kMaximumModelFluence), 48);
  int curve_runs = 0;
  std::string error;
  depths = model_depths(model, parameters, request.data.quantity, fluences, request.jobs,
                        curve_runs, interrupt, error, pulses);
  return error;
}

}  // namespace kt
