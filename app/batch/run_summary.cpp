#include "app/batch/run_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "engine/result_columns.h"
#include "solver/result_files.h"

namespace kt::batch {
namespace {

using Json = nlohmann::ordered_json;

std::string dump(const Json& document) {
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json number(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

// A 32-bit real of the Parameter set to its 7 significant digits (0.2, not 0.200000003).
Json field_value(float value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
  return number(std::strtod(text, nullptr));
}

// A name, a value and its unit on one line, the values in one column.
void add_line(std::string& out, const std::string& name, double value, const std::string& unit) {
  char line[160];
  std::snprintf(line, sizeof line, "%-26s %.6g %s\n", name.c_str(), value, unit.c_str());
  out += line;
}

// The quantities of a run, by the names of the sweep's CSV columns (null when it diverged).
void add_quantities(Json& row, const RunOutcome& o) {
  row["fluence_mJ_per_cm2"] = number(o.fluence_used);
  const bool diverged = o.end == RunEnd::diverged;
  for (const ResultColumn& column :
       result_columns(with_error_columns(ResultColumnSet::results, o.error.tolerance > 0.0)))
    row[std::string(column.name)] = diverged ? Json(nullptr) : number(column.value(o));
  row["steps"] = o.step_count;
  row["end"] = run_end_text(o.end);
}

// The largest estimated error of a train's surface temperature before a pulse [K], from the
// cooling's time steps between the pulses (0 for a single pulse).
double largest_cooling_error_k(const RunOutcome& o) {
  double largest = 0.0;
  for (const PulseRecord& r : o.pulses) largest = std::max(largest, r.cooling_error_k);
  return largest;
}

// A train's pulses: one object per pulse, by the pulse table's names.
Json pulse_records(const RunOutcome& o) {
  Json pulses = Json::array();
  for (const PulseRecord& r : o.pulses) {
    Json p;
    p["pulse"] = r.pulse;
    p["surface_temperature_before_K"] = number(r.surface_temperature_before_k);
    p["surface_fraction_before"] = number(r.surface_fraction_before);
    p["peak_surface_temperature_K"] = number(r.peak_surface_temperature_k);
    p["surface_recession_nm"] = number(r.surface_recession_nm);
    p["volume_depth_nm"] = number(r.volume_depth_nm);
    p["total_depth_nm"] = number(r.total_depth_nm);
    p["cumulative_depth_nm"] = number(r.cumulative_depth_nm);
    p["surface_temperature_before_error_K"] = number(r.cooling_error_k);
    p["cut_short"] = r.cut_short;
    pulses.push_back(p);
  }
  return pulses;
}

Json numbers(const std::vector<double>& values) {
  Json out = Json::array();
  for (const double v : values) out.push_back(number(v));
  return out;
}

// The crater table's numbers by name, each with its unit.
Json crater_object(const Crater& c, const std::string& table_file) {
  Json j;
  j["beam"] = beam_name(c.spot.beam);
  j["spot_radius_um"] = number(c.spot.radius_um);
  j["peak_fluence_mJ_per_cm2"] = number(c.peak_fluence);
  j["pulse_energy_uJ"] = number(c.pulse_energy_uj);
  j["diameter_depth_nm"] = number(c.diameter_depth_nm);
  j["runs"] = c.runs;
  j["interpolated"] = c.interpolated;
  j["interpolation_error_nm"] = c.interpolated ? number(c.interpolation_error_nm) : Json(nullptr);
  j["planned_pulses"] = c.planned_pulses > 0 ? c.planned_pulses : c.listed_pulses();
  j["complete"] = !c.partial();
  j["table_file"] = table_file.empty() ? Json(nullptr) : Json(table_file);
  j["radius_um"] = numbers(c.radius_um);
  j["fluence_mJ_per_cm2"] = numbers(c.fluence);
  Json pulses = Json::array();
  for (std::size_t k = 0; k < c.depth_nm.size(); ++k) {
    Json p;
    p["pulse"] = k + 1;
    p["volume_um3"] = number(c.volume_um3[k]);
    p["diameter_um"] = number(c.diameter_um[k]);
    p["depth_nm"] = numbers(c.depth_nm[k]);
    p["cumulative_depth_nm"] = numbers(c.cumulative_nm[k]);
    pulses.push_back(p);
  }
  j["pulses"] = pulses;
  return j;
}

Json spot_train_object(const SpotTrainResult& r) {
  Json j;
  j["radii"] = r.radius_um.size();
  j["light_uJ"] = number(r.light_uj);
  j["surface_loss_uJ"] = number(r.surface_loss_uj);
  j["far_loss_uJ"] = number(r.far_loss_uj);
  j["interrupted"] = r.interrupted;
  return j;
}

}  // namespace

std::string run_error_text(const RunOutcome& o) {
  std::string out;
  char line[400];
  const ErrorEstimate& e = o.error;
  if (e.estimated) {
    add_line(out, "total depth error:", e.total_depth_error_nm, "nm");
    add_line(out, "peak temperature error:", e.peak_surface_temperature_error_k, "K");
  }
  if (e.grid_depth_factor > 1.0) {
    std::snprintf(line, sizeof line,
                  "%-26s to %.6g nm, %g times its depth (the heat or the light reached its "
                  "bottom)\n",
                  "grid extended:", e.grid_depth_nm, e.grid_depth_factor);
    out += line;
  }
  if (e.reached) {
    std::snprintf(line, sizeof line,
                  "%-26s %g reached (accurate scheme, cells split into %d, steps into %d)\n",
                  "tolerance:", e.tolerance, e.grid_refinement, e.refinement);
  } else {
    std::snprintf(line, sizeof line, "%-26s %g NOT reached: %s\n", "tolerance:", e.tolerance,
                  e.shortfall.empty() ? "no finer level could be run" : e.shortfall.c_str());
  }
  out += line;
  return out;
}

std::string run_summary_text(const RunOutcome& o, const ParameterSet& p) {
  std::string out;
  char line[200];
  std::snprintf(line, sizeof line, "%-26s %s after %d steps\n",
                "run ended by:", run_end_text(o.end), o.step_count);
  out += line;
  add_line(out, "fluence:", o.fluence_used, "mJ/cm^2");
  if (!o.pulses.empty()) {
    std::snprintf(line, sizeof line,
                  "%-26s %zu (depths below: means per pulse; peaks: the train's highest)\n",
                  "pulses:", o.pulses.size());
    out += line;
    add_line(out, "first pulse's depth:", o.pulses.front().total_depth_nm, "nm");
    add_line(out, "last pulse's depth:", o.pulses.back().total_depth_nm, "nm");
    add_line(out, "cumulative depth:", o.pulses.back().cumulative_depth_nm, "nm");
    if (o.pulses.size() > 1) {
      std::snprintf(line, sizeof line,
                    "%-26s %.6g K (the surface temperature before a pulse, the train's largest "
                    "error from the cooling's steps)\n",
                    "cooling error:", largest_cooling_error_k(o));
      out += line;
    }
  }
  for (const ResultColumn& column : result_columns())
    add_line(out, std::string(column.label) + ":", column.value(o), std::string(column.unit));
  if (o.error.estimated || o.error.tolerance > 0.0) out += run_error_text(o);
  if (o.split_steps > 0) {
    std::snprintf(line, sizeof line, "%-26s %ld (Newton did not converge on them whole)\n",
                  "steps split:", o.split_steps);
    out += line;
  }
  // An interrupted run is not a result: its depths are those reached, and no line was written.
  if (o.interrupted) {
    std::snprintf(line, sizeof line, "%-26s %s\n", "kinetics line:",
                  "not written (interrupted; the depths above are those reached so far)");
  } else {
    std::snprintf(line, sizeof line, "%-26s %s\n", "kinetics line written to:",
                  kinetics_file_name(result_file_base(p.data_file_name)).c_str());
  }
  out += line;
  add_line(out, "temperature scale:", p.temperature_scale, "K");
  add_line(out, "velocity scale:", p.velocity_scale, "cm/s");
  add_line(out, "ablated depth scale:", p.depth_scale, "1/alpha");
  // Where the light went (the residual is what the scheme loses or creates).
  const std::span<const ResultColumn> results = result_columns();
  for (const ResultColumn& column :
       result_columns(ResultColumnSet::with_energy).subspan(results.size()))
    add_line(out, std::string(column.label) + ":", column.value(o), std::string(column.unit));
  return out;
}

std::string run_summary_json(const std::string& parameter_file, const RunOutcome& o,
                             const ParameterSet& p, const SpotSummary& spot) {
  Json doc;
  doc["parameter_file"] = parameter_file;
  add_quantities(doc, o);
  if (o.end == RunEnd::diverged) doc["message"] = divergence_message(o);
  if (!o.notice.empty()) doc["notice"] = o.notice;
  doc["kinetics_file"] = kinetics_file_name(result_file_base(p.data_file_name));
  doc["kinetics_line"] = o.kinetics_line;
  doc["kinetics_line_written"] = !o.interrupted && o.end != RunEnd::diverged;
  doc["temperature_scale_K"] = field_value(p.temperature_scale);
  doc["velocity_scale_cm_per_s"] = field_value(p.velocity_scale);
  doc["depth_scale_per_alpha"] = field_value(p.depth_scale);
  doc["file_errors"] = o.file_errors;
  doc["split_steps"] = o.split_steps;
  if (o.error.tolerance > 0.0) {
    Json error;
    error["tolerance"] = o.error.tolerance;
    error["reached"] = o.error.reached;
    error["total_depth_error_nm"] =
        o.error.estimated ? number(o.error.total_depth_error_nm) : Json(nullptr);
    error["peak_surface_temperature_error_K"] =
        o.error.estimated ? number(o.error.peak_surface_temperature_error_k) : Json(nullptr);
    error["grid_refinement"] = o.error.grid_refinement;
    error["refinement"] = o.error.refinement;
    error["grid_depth_factor"] = o.error.grid_depth_factor;
    error["grid_depth_nm"] = number(o.error.grid_depth_nm);
    if (!o.error.reached) error["shortfall"] = o.error.shortfall;
    doc["error"] = error;
  }
  if (!o.pulses.empty()) {
    doc["pulses"] = pulse_records(o);
    doc["largest_surface_temperature_before_error_K"] = number(largest_cooling_error_k(o));
  }
  Json energy;
  const std::span<const ResultColumn> results = result_columns();
  for (const ResultColumn& column :
       result_columns(ResultColumnSet::with_energy).subspan(results.size()))
    energy[std::string(column.name)] = number(column.value(o));
  doc["energy"] = energy;
  if (spot.active()) {
    doc["crater"] = spot.crater ? crater_object(*spot.crater, spot.crater_file) : Json(nullptr);
    if (!spot.crater_problem.empty()) doc["crater_problem"] = spot.crater_problem;
    if (spot.train) doc["spot_train"] = spot_train_object(*spot.train);
  }
  return dump(doc);
}

std::string sweep_summary_text(const SweepResult& result) {
  std::string out;
  char line[400];
  for (const SweepRun& run : result.runs) {
    if (!run.finished) continue;
    const RunOutcome& o = run.outcome;
    if (o.end == RunEnd::diverged) {
      if (o.material_range_refusal) {
        // A material table left: the refusal itself, which a finer step does not change.
        std::snprintf(line, sizeof line, "fluence %g mJ/cm^2: ", run.fluence);
        out += line + divergence_message(o) + "\n";
        continue;
      }
      std::snprintf(line, sizeof line, "fluence %g mJ/cm^2: diverged at step %d\n", run.fluence,
                    o.step_count);
      out += line;
      continue;
    }
    std::snprintf(line, sizeof line, "fluence %g mJ/cm^2:", o.fluence_used);
    out += line;
    const char* separator = " ";
    for (const ResultColumn& column : result_columns()) {
      std::snprintf(line, sizeof line, "%s%s %.6g %s", separator, std::string(column.label).c_str(),
                    column.value(o), std::string(column.unit).c_str());
      out += line;
      separator = ", ";
    }
    std::snprintf(line, sizeof line, " (%d steps, %s)\n", o.step_count, run_end_text(o.end));
    out += line;
  }
  return out;
}

std::string sweep_summary_json(const SweepResult& result, const std::string& beer_lambert_json) {
  Json doc;
  Json& runs = doc["runs"] = Json::array();
  for (const SweepRun& run : result.runs) {
    if (!run.finished) continue;
    add_quantities(runs.emplace_back(Json::object()), run.outcome);
  }
  doc["kinetics_file"] = result.kinetics_file;
  doc["kinetics_lines_written"] = result.lines_written;
  doc["diverged"] = result.diverged;
  doc["interrupted"] = result.interrupted;
  doc["errors"] = result.errors;
  if (!beer_lambert_json.empty()) {
    doc["beer_lambert"] = Json::parse(beer_lambert_json, nullptr, false);
  }
  return dump(doc);
}

}  // namespace kt::batch
