#include "analysis/report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>

namespace kt {
namespace {

using Json = nlohmann::ordered_json;  // members stay in the order they are added

// A number, or null when it is not defined (not finite).
Json number(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

// A value held as a 32-bit real in the Parameter set, to its 7 significant digits (0.7, not
// 0.699999988).
Json field_value(double value) {
  if (!std::isfinite(value)) return nullptr;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.7g", value);
  return std::strtod(buffer, nullptr);
}

// Any text as a JSON string: control bytes escaped, bytes that are not UTF-8 replaced by
// U+FFFD; never throws.
std::string string_text(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A value on one line: {"key": value, ...} and [a, b, ...]; reals to 10 significant digits.
std::string inline_text(const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      std::string out = "{";
      for (auto it = value.begin(); it != value.end(); ++it)
        out += (it == value.begin() ? "" : ", ") + string_text(it.key()) + ": " +
               inline_text(it.value());
      return out + "}";
    }
    case Json::value_t::array: {
      std::string out = "[";
      for (auto it = value.begin(); it != value.end(); ++it)
        out += (it == value.begin() ? "" : ", ") + inline_text(*it);
      return out + "]";
    }
    case Json::value_t::number_float: {
      const double v = value.get<double>();
      if (!std::isfinite(v)) return "null";
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.10g", v);
      return buffer;
    }
    case Json::value_t::string:
      return string_text(value.get_ref<const std::string&>());
    default:  // null, booleans and whole numbers
      return value.dump();
  }
}

// The layout of a report: one member of the top object a line, and one entry a line for the
// members named `listed` (the fitted parameters, the points); everything else on one line.
std::string report_text(const Json& document, std::initializer_list<const char*> listed) {
  std::string out = "{";
  for (auto it = document.begin(); it != document.end(); ++it) {
    out += std::string(it == document.begin() ? "\n" : ",\n") + "  " + string_text(it.key()) + ": ";
    const Json& value = it.value();
    bool one_a_line = false;
    for (const char* name : listed) one_a_line = one_a_line || it.key() == name;
    if (!one_a_line || !value.is_structured()) {
      out += inline_text(value);
      continue;
    }
    out += value.is_object() ? "{" : "[";
    for (auto entry = value.begin(); entry != value.end(); ++entry) {
      out += std::string(entry == value.begin() ? "" : ",") + "\n    ";
      if (value.is_object()) out += string_text(entry.key()) + ": ";
      out += inline_text(entry.value());
    }
    out += value.is_object() ? "\n  }" : "\n  ]";
  }
  return out + "\n}\n";
}

Json beer_lambert_object(const BeerLambertFit& fit) {
  Json out;
  out["ok"] = fit.ok;
  if (!fit.ok) {
    out["message"] = fit.message;
    return out;
  }
  out["threshold_fluence"] = number(fit.threshold_fluence);
  out["threshold_fluence_stderr"] = number(fit.threshold_stderr);
  out["absorption_length_nm"] = number(fit.absorption_length_nm);
  out["absorption_length_nm_stderr"] = number(fit.absorption_length_stderr);
  out["chi2"] = number(fit.chi2);
  out["dof"] = fit.dof;
  out["points_used"] = fit.points_used;
  out["min_depth_nm"] = number(fit.min_depth_nm);
  out["weighted"] = fit.weighted;
  return out;
}

std::string with_error(double value, double error) {
  char buffer[80];
  if (std::isfinite(error))
    std::snprintf(buffer, sizeof buffer, "%.6g +- %.2g", value, error);
  else
    std::snprintf(buffer, sizeof buffer, "%.6g +- (not determined)", value);
  return buffer;
}

}  // namespace

std::string fitted_key(const FittedParameter& parameter) {
  return parameter.dataset.empty() ? parameter.name
                                   : parameter.name + "[" + parameter.dataset + "]";
}

FitWork report_work(const FitReport& r, const SetReports* sets) {
  FitWork w{r.evaluations, r.runs, r.retried_runs, r.failed_points, r.wall_seconds};
  if (sets) {
    for (const FitReport& alone : sets->separately) {
      w.evaluations += alone.evaluations;
      w.runs += alone.runs;
      w.retried += alone.retried_runs;
      w.failed += alone.failed_points;
      w.wall_seconds += alone.wall_seconds;
    }
  }
  return w;
}

bool report_has_sets(const FitReport& r) {
  if (r.datasets.size() > 1) return true;
  for (const FittedParameter& p : r.parameters)
    if (!p.dataset.empty()) return true;
  return false;
}

namespace {

Json values_with_errors(const FitReport& r) {
  Json out = Json::object();
  const bool found_nothing = r.points.empty();
  for (const FittedParameter& p : r.parameters)
    out[fitted_key(p)] = {{"value", field_value(found_nothing ? NAN : p.value)},
                          {"stderr", number(found_nothing ? NAN : p.standard_error)}};
  return out;
}

Json datasets_json(const FitReport& r, const SetReports* sets) {
  Json out = Json::array();
  for (std::size_t k = 0; k < r.datasets.size(); ++k) {
    const FitSetResult& set = r.datasets[k];
    Json entry = {{"name", set.name},
                  {"points", set.points},
                  {"chi2", number(r.points.empty() ? NAN : set.chi2)}};
    Json own = Json::object();
    for (const FittedParameter& p : r.parameters)
      if (p.dataset == set.name)
        own[p.name] = {{"value", field_value(r.points.empty() ? NAN : p.value)},
                       {"stderr", number(r.points.empty() ? NAN : p.standard_error)}};
    if (!own.empty()) entry["parameters"] = std::move(own);
    if (sets && k < sets->beer_lambert.size())
      entry["beer_lambert"] = beer_lambert_object(sets->beer_lambert[k]);
    if (sets && k < sets->separately.size()) {
      const FitReport& alone = sets->separately[k];
      entry["separately"] = {{"status", fit_status_text(alone.status)},
                             {"message", alone.message},
                             {"parameters", values_with_errors(alone)},
                             {"chi2", number(alone.points.empty() ? NAN : alone.chi2)},
                             {"dof", alone.dof}};
    }
    out.push_back(std::move(entry));
  }
  return out;
}

}  // namespace

nlohmann::ordered_json report_document(const FitReport& r, const BeerLambertFit* beer_lambert,
                                       const SetReports* sets) {
  // A fit that evaluated no point found no value: its values and chi2 are null, not 0.
  const bool found_nothing = r.points.empty();
  const double nothing = std::numeric_limits<double>::quiet_NaN();
  Json doc;
  doc["status"] = fit_status_text(r.status);
  doc["message"] = r.message;
  doc["quantity"] = std::string(depth_column_name(r.quantity));
  doc["method"] = r.method;
  if (!r.model_name.empty()) doc["model"] = r.model_name;
  if (!std::isnan(r.largest_bias)) doc["largest_bias_sigma"] = number(r.largest_bias);
  Json& parameters = doc["parameters"] = Json::object();
  for (const FittedParameter& p : r.parameters) {
    Json& entry = parameters[fitted_key(p)];
    if (!p.dataset.empty()) entry["dataset"] = p.dataset;
    entry["value"] = field_value(found_nothing ? nothing : p.value);
    entry["stderr"] = number(found_nothing ? nothing : p.standard_error);
    entry["initial"] = field_value(p.initial);
    entry["unit"] = p.unit;
    entry["lower"] = number(p.lower);
    entry["upper"] = number(p.upper);
    entry["log_scale"] = p.log_scale;
    entry["at_bound"] = p.at_bound;
  }
  Json& correlation = doc["correlation"] = Json::array();
  for (const auto& row : r.correlation) {
    Json& line = correlation.emplace_back(Json::array());
    for (double c : row) line.push_back(number(c));
  }
  doc["chi2"] = number(found_nothing ? nothing : r.chi2);
  doc["dof"] = r.dof;
  doc["reduced_chi2"] = number(found_nothing ? nothing : r.reduced_chi2);
  doc["weighted"] = r.weighted;
  const FitWork work = report_work(r, sets);
  doc["evaluations"] = work.evaluations;
  doc["runs"] = work.runs;
  doc["retried_runs"] = work.retried;
  // The runs of the early evaluations at a looser tolerance (counted in runs), when there were.
  if (r.early_runs > 0) doc["early_runs"] = r.early_runs;
  doc["failed_runs"] = work.failed;
  doc["wall_seconds"] = number(work.wall_seconds);
  if (!r.notes.empty()) doc["notes"] = r.notes;
  if (beer_lambert) doc["beer_lambert"] = beer_lambert_object(*beer_lambert);
  const bool several = report_has_sets(r);
  if (several) doc["datasets"] = datasets_json(r, sets);
  Json& points = doc["points"] = Json::array();
  for (const FitPointResult& p : r.points) {
    points.push_back({{"fluence", number(p.fluence)},
                      {"measured", number(p.measured)},
                      {"sigma", number(p.sigma)},
                      {"model", number(p.model)},
                      {"residual", number(p.residual)}});
    if (!std::isnan(r.largest_bias)) points.back()["bias_sigma"] = number(p.bias);
    if (several) points.back()["dataset"] = r.datasets.at(static_cast<std::size_t>(p.dataset)).name;
  }
  return doc;
}

std::string report_json(const FitReport& report, const BeerLambertFit* beer_lambert,
                        const SetReports* sets) {
  return report_text(report_document(report, beer_lambert, sets),
                     {"parameters", "datasets", "points"});
}

double shown_real(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.10g", value);
  return std::strtod(buffer, nullptr);
}

nlohmann::ordered_json beer_lambert_document(const BeerLambertFit& fit, const MeasuredData& data,
                                             const std::vector<BeerLambertFit>* per_set) {
  const bool several = per_set && per_set->size() == data.datasets.size();
  Json doc;
  doc["quantity"] = std::string(depth_column_name(data.quantity));
  if (several) {
    Json& sets = doc["datasets"] = Json::array();
    for (std::size_t k = 0; k < per_set->size(); ++k)
      sets.push_back({{"name", data.datasets[k].name},
                      {"points", points_of_set(data, static_cast<int>(k)).size()},
                      {"beer_lambert", beer_lambert_object((*per_set)[k])}});
  } else {
    doc["beer_lambert"] = beer_lambert_object(fit);
  }
  Json& points = doc["points"] = Json::array();
  for (const MeasuredPoint& p : data.points) {
    Json point = {{"fluence", number(p.fluence)},
                  {"measured", number(p.depth_nm)},
                  {"sigma", number(data.has_sigma ? p.sigma_nm : NAN)}};
    const BeerLambertFit& own = several ? (*per_set)[static_cast<std::size_t>(p.dataset)] : fit;
    if (own.ok) {
      const double line = beer_lambert_depth(own, p.fluence);
      point["model"] = number(line);
      point["residual"] = number(p.depth_nm - line);
    }
    if (several) point["dataset"] = data.datasets[static_cast<std::size_t>(p.dataset)].name;
    points.push_back(std::move(point));
  }
  return doc;
}

std::string beer_lambert_json(const BeerLambertFit& fit, const MeasuredData& data,
                              const std::vector<BeerLambertFit>* per_set) {
  return report_text(beer_lambert_document(fit, data, per_set), {"datasets", "points"});
}

std::string beer_lambert_object_json(const BeerLambertFit& fit) {
  return inline_text(beer_lambert_object(fit));
}

namespace {

// Each data set's points and chi-square, its Beer-Lambert analysis, and the fitted values of the
// global fit beside those of its data set fitted alone.
std::string sets_summary(const FitReport& r, const SetReports* sets) {
  char line[320];
  std::string out = "data sets:\n";
  for (std::size_t k = 0; k < r.datasets.size(); ++k) {
    std::snprintf(line, sizeof line, "  %-24s %3d points, chi2 %.6g\n", r.datasets[k].name.c_str(),
                  r.datasets[k].points, r.datasets[k].chi2);
    out += line;
  }
  if (!sets || sets->separately.empty()) return out;
  out += "global fit against each data set fitted alone (1 sigma):\n";
  for (const FittedParameter& p : r.parameters) {
    std::snprintf(line, sizeof line, "  %-30s global %s\n", fitted_key(p).c_str(),
                  with_error(p.value, p.standard_error).c_str());
    out += line;
    for (std::size_t k = 0; k < sets->separately.size() && k < r.datasets.size(); ++k) {
      if (!p.dataset.empty() && p.dataset != r.datasets[k].name) continue;
      const FitReport& alone = sets->separately[k];
      for (const FittedParameter& q : alone.parameters) {
        if (q.name != p.name) continue;
        const std::string text = alone.points.empty()
                                     ? std::string("(no fit: ") + alone.message + ")"
                                     : with_error(q.value, q.standard_error);
        std::snprintf(line, sizeof line, "    %-28s alone  %s%s\n", r.datasets[k].name.c_str(),
                      text.c_str(),
                      alone.status == FitStatus::converged || alone.points.empty()
                          ? ""
                          : (std::string(" (") + fit_status_text(alone.status) + ")").c_str());
        out += line;
      }
    }
  }
  return out;
}

}  // namespace

std::string fit_summary(const FitReport& r, const SetReports* sets) {
  char line[256];
  std::string out;
  const bool trusted = r.status == FitStatus::converged;
  if (r.points.empty()) {
    std::snprintf(line, sizeof line, "fit of %s: %s before any point was evaluated\n",
                  std::string(depth_column_name(r.quantity)).c_str(), fit_status_text(r.status));
    return out + line;
  }
  std::snprintf(line, sizeof line, "fit of %s to %zu points: %s\n",
                std::string(depth_column_name(r.quantity)).c_str(), r.points.size(),
                fit_status_text(r.status));
  out += line;
  if (!r.model_name.empty()) out += "model: " + r.model_name + "\n";
  if (r.status == FitStatus::failed && r.parameters.empty()) return out;
  out += trusted ? "fitted values (1 sigma):\n"
                 : "best values found (NOT a trustworthy fit, see below):\n";
  for (const FittedParameter& p : r.parameters) {
    std::snprintf(line, sizeof line, "  %-26s %-34s %-8s (start %.6g%s)\n", fitted_key(p).c_str(),
                  with_error(p.value, p.standard_error).c_str(), p.unit.c_str(), p.initial,
                  p.at_bound ? ", AT BOUND" : "");
    out += line;
  }
  if (r.parameters.size() > 1 && trusted) {
    out += "correlation:\n";
    for (const auto& row : r.correlation) {
      out += "  ";
      for (double c : row) {
        std::snprintf(line, sizeof line, "%7.3f", c);
        out += line;
      }
      out += "\n";
    }
  }
  std::snprintf(line, sizeof line, "chi2 %.6g, dof %d, reduced %.4g%s\n", r.chi2, r.dof,
                r.reduced_chi2, r.weighted ? "" : " (no sigma given: errors scaled by it)");
  out += line;
  if (report_has_sets(r)) out += sets_summary(r, sets);
  if (!std::isnan(r.largest_bias)) {
    std::snprintf(line, sizeof line, "discretisation bias at the best values: up to %.3g sigma%s\n",
                  r.largest_bias,
                  r.largest_bias > 1.0 ? " (ABOVE 1: the fitted values carry it)" : "");
    out += line;
  }
  const FitWork work = report_work(r, sets);
  std::snprintf(
      line, sizeof line, "%d evaluations, %d model runs (%d retried, %d failed), %.1f s wall, %s\n",
      work.evaluations, work.runs, work.retried, work.failed, work.wall_seconds, r.method.c_str());
  out += line;
  if (work.wall_seconds != r.wall_seconds) {
    std::snprintf(line, sizeof line,
                  "  of which the global fit %d evaluations, %d model runs, %.1f s wall\n",
                  r.evaluations, r.runs, r.wall_seconds);
    out += line;
  }
  return out;
}

std::string beer_lambert_summary(const BeerLambertFit& fit) {
  if (!fit.ok) return "Beer-Lambert analysis: " + fit.message + "\n";
  char line[256];
  std::snprintf(line, sizeof line,
                "Beer-Lambert analysis (%d points with depth >= %g nm%s):\n"
                "  threshold fluence F_th   %s mJ/cm^2\n"
                "  absorption length 1/alpha_eff %s nm\n",
                fit.points_used, fit.min_depth_nm, fit.weighted ? ", weighted" : "",
                with_error(fit.threshold_fluence, fit.threshold_stderr).c_str(),
                with_error(fit.absorption_length_nm, fit.absorption_length_stderr).c_str());
  return line;
}

std::string threshold_summary(const ThresholdReport& report, const ThresholdRequest& request) {
  char line[320];
  std::snprintf(line, sizeof line,
                "threshold fluence for %g nm %s depth: %.6g mJ/cm^2\n"
                "  bracket %.6g (%.4g nm) to %.6g (%.4g nm) mJ/cm^2, %d runs, %.1f s\n",
                request.depth_nm, std::string(depth_quantity_word(request.quantity)).c_str(),
                report.fluence, report.below, report.depth_below_nm, report.above,
                report.depth_above_nm, report.runs, report.wall_seconds);
  if (report.model_name.empty()) return line;
  return line + ("  model: " + report.model_name + "\n");
}

}  // namespace kt
