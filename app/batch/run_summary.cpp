#include "app/batch/run_summary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

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
void add_line(std::string& out, const char* name, double value, const char* unit) {
  char line[160];
  std::snprintf(line, sizeof line, "%-26s %.6g %s\n", name, value, unit);
  out += line;
}

// The quantities of a finished run, by the names of the sweep's CSV columns.
void add_quantities(Json& row, const RunOutcome& o) {
  row["fluence_mJ_per_cm2"] = number(o.fluence_used);
  const bool diverged = o.end == RunEnd::diverged;
  row["surface_recession_nm"] = diverged ? Json(nullptr) : number(o.surface_recession_nm);
  row["volume_depth_nm"] = diverged ? Json(nullptr) : number(o.volume_depth_nm);
  row["total_depth_nm"] = diverged ? Json(nullptr) : number(o.total_depth_nm);
  row["peak_surface_temperature_K"] =
      diverged ? Json(nullptr) : number(o.peak_surface_temperature_k);
  row["peak_front_velocity_cm_per_s"] =
      diverged ? Json(nullptr) : number(o.peak_front_velocity_cm_s);
  row["steps"] = o.step_count;
  row["end"] = run_end_text(o.end);
}

}  // namespace

std::string run_summary_text(const RunOutcome& o, const ParameterSet& p) {
  std::string out;
  char line[200];
  std::snprintf(line, sizeof line, "%-26s %s after %d steps\n",
                "run ended by:", run_end_text(o.end), o.step_count);
  out += line;
  add_line(out, "fluence:", o.fluence_used, "mJ/cm^2");
  add_line(out, "surface recession:", o.surface_recession_nm, "nm");
  add_line(out, "volume depth:", o.volume_depth_nm, "nm");
  add_line(out, "total depth:", o.total_depth_nm, "nm");
  add_line(out, "peak surface temperature:", o.peak_surface_temperature_k, "K");
  add_line(out, "peak front velocity:", o.peak_front_velocity_cm_s, "cm/s");
  std::snprintf(line, sizeof line, "%-26s %s\n", "kinetics line written to:",
                kinetics_file_name(result_file_base(p.data_file_name)).c_str());
  out += line;
  add_line(out, "temperature scale:", p.temperature_scale, "K");
  add_line(out, "velocity scale:", p.velocity_scale, "cm/s");
  add_line(out, "ablated depth scale:", p.depth_scale, "1/alpha");
  return out;
}

std::string run_summary_json(const std::string& parameter_file, const RunOutcome& o,
                             const ParameterSet& p) {
  Json doc;
  doc["parameter_file"] = parameter_file;
  add_quantities(doc, o);
  if (o.end == RunEnd::diverged) doc["message"] = divergence_message(o);
  doc["kinetics_file"] = kinetics_file_name(result_file_base(p.data_file_name));
  doc["kinetics_line"] = o.kinetics_line;
  doc["temperature_scale_K"] = field_value(p.temperature_scale);
  doc["velocity_scale_cm_per_s"] = field_value(p.velocity_scale);
  doc["depth_scale_per_alpha"] = field_value(p.depth_scale);
  doc["file_errors"] = o.file_errors;
  return dump(doc);
}

std::string sweep_summary_text(const SweepResult& result) {
  std::string out;
  char line[400];
  for (const SweepRun& run : result.runs) {
    if (!run.finished) continue;
    const RunOutcome& o = run.outcome;
    if (o.end == RunEnd::diverged) {
      std::snprintf(line, sizeof line, "fluence %g mJ/cm^2: diverged at step %d\n", run.fluence,
                    o.step_count);
    } else {
      std::snprintf(line, sizeof line,
                    "fluence %g mJ/cm^2: surface recession %.6g nm, volume depth %.6g nm, total "
                    "depth %.6g nm, peak surface temperature %.6g K, peak front velocity %.6g "
                    "cm/s (%d steps, %s)\n",
                    o.fluence_used, o.surface_recession_nm, o.volume_depth_nm, o.total_depth_nm,
                    o.peak_surface_temperature_k, o.peak_front_velocity_cm_s, o.step_count,
                    run_end_text(o.end));
    }
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
