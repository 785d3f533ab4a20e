// The names of a run's choices and ends, and its messages: the check of its choices before it
// starts and what a diverged run says.
#include <cstdio>
#include <string>

#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "solver/calculation_run.h"
#include "solver/model.h"

namespace kt {

const char* scheme_name(Scheme scheme) {
  return scheme == Scheme::accurate ? "accurate" : "published";
}

bool parse_scheme(const std::string& text, Scheme& scheme) {
  if (text == "published") {
    scheme = Scheme::published;
  } else if (text == "accurate") {
    scheme = Scheme::accurate;
  } else {
    return false;
  }
  return true;
}

const char* pulse_shape_name(PulsePlan::Shape shape) {
  switch (shape) {
    case PulsePlan::Shape::gaussian:
      return "gaussian";
    case PulsePlan::Shape::measured:
      return "measured";
    case PulsePlan::Shape::file:
      break;
  }
  return "file";
}

bool parse_pulse_shape(const std::string& text, PulsePlan::Shape& shape) {
  for (const PulsePlan::Shape candidate :
       {PulsePlan::Shape::file, PulsePlan::Shape::gaussian, PulsePlan::Shape::measured}) {
    if (text == pulse_shape_name(candidate)) {
      shape = candidate;
      return true;
    }
  }
  return false;
}

const char* run_end_text(RunEnd end) {
  switch (end) {
    case RunEnd::end_test:
      return "end test";
    case RunEnd::step_limit:
      return "step limit";
    case RunEnd::stop:
      return "stopped";
    case RunEnd::diverged:
      return "diverged";
    case RunEnd::not_started:
      break;
  }
  return "not started";
}

std::string divergence_message(const RunOutcome& outcome) {
  char buffer[96];
  if (outcome.material_range_refusal) {
    std::snprintf(buffer, sizeof buffer, "the run was refused at step %d (t = %.6g ns)",
                  outcome.step_count, outcome.diverged_time_ns);
    return std::string(buffer) + ": " + outcome.divergence_cause +
           "; the material file's table must cover the temperatures of the run; no kinetics "
           "line was written";
  }
  if (outcome.ledger_refusal) {
    std::snprintf(buffer, sizeof buffer, "the run failed at its end, step %d (t = %.6g ns)",
                  outcome.step_count, outcome.diverged_time_ns);
    return std::string(buffer) + ": " + outcome.divergence_cause + "; no kinetics line was written";
  }
  std::snprintf(buffer, sizeof buffer, "the calculation diverged at step %d (t = %.6g ns)",
                outcome.step_count, outcome.diverged_time_ns);
  return std::string(buffer) + ": " + outcome.divergence_cause + "; no kinetics line was written";
}

std::string check_run_choices(const ParameterSet& p) {
  if (std::string refusal = check_choice_codes(p); !refusal.empty()) return refusal;
  if (const std::string problem = data_file_name_problem(trimmed_right(p.data_file_name));
      !problem.empty()) {
    return "the data-file name cannot be used: " + problem;
  }
  if (std::string refusal = check_physical_ranges(p); !refusal.empty()) return refusal;
  const double lowest = polyimide_lowest_temperature();
  if (p.material == Material::polyimide && !(static_cast<double>(p.ambient_temperature) > lowest)) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer,
                  "Ambient temperature [K] is %g; for polyimide it must be above %.1f K, below "
                  "which its specific-heat law turns negative",
                  static_cast<double>(p.ambient_temperature), lowest);
    return buffer;
  }
  return {};
}

}  // namespace kt
