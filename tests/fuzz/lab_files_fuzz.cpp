// Fuzz target (libFuzzer) for the readers of a laboratory's own files: the material file and
// the experiment file (TOML) and the measured pulse trace (CSV). The same bytes go to all three.
// Besides crashes and sanitizer findings it checks the readers' promises: a refusal names its
// source and holds no NUL byte; a material it takes has usable laws at room temperature; an
// experiment it takes makes sense as a run; a trace it takes has increasing times and delivers
// exactly its whole pulse.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "params/experiment_file.h"
#include "params/material_file.h"
#include "params/pulse_trace.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

void require_named_refusal(const std::string& error, std::string_view origin) {
  require(error.rfind(origin, 0) == 0);
  require(error.find('\0') == std::string::npos);
}

void check_material(std::string_view text) {
  std::string error;
  const auto material = kt::parse_material_text(text, "fuzz.toml", error);
  if (!material) return require_named_refusal(error, "fuzz.toml");
  for (const kt::MaterialValue& v : material->values) require(std::isfinite(v.value));
  require(material->specific_heat_scale > 0.0 && std::isfinite(material->specific_heat_scale));
  require(material->thermal_conductivity_scale > 0.0 &&
          std::isfinite(material->thermal_conductivity_scale));
  for (const kt::PropertyLaw* law : {&material->specific_heat, &material->thermal_conductivity}) {
    bool in_range = true;
    const double value = law->evaluate(300.0, in_range);
    require(!in_range || !std::isnan(value));
  }
}

void check_experiment(std::string_view text) {
  std::string error;
  const auto experiment = kt::parse_experiment_text(text, "fuzz.toml", "lab", error);
  if (!experiment) return require_named_refusal(error, "fuzz.toml");
  require(experiment->pulses >= 1);
  require(kt::experiment_problem(*experiment).empty());
  require(!kt::experiment_text(*experiment).empty());
}

void check_trace(std::string_view text) {
  std::string error;
  const auto trace = kt::parse_pulse_trace(text, "fuzz.csv", error);
  if (!trace) return require_named_refusal(error, "fuzz.csv");
  require(trace->time_ns.size() >= 3 && trace->time_ns.size() == trace->intensity.size());
  for (std::size_t k = 1; k < trace->time_ns.size(); ++k)
    require(trace->time_ns[k] > trace->time_ns[k - 1]);
  for (const double i : trace->intensity) require(i >= 0.0 && std::isfinite(i));
  const double whole = trace->delivered(trace->time_ns.back() - trace->time_ns.front());
  require(std::fabs(whole - 1.0) < 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_material(text);
  check_experiment(text);
  check_trace(text);
  return 0;
}
