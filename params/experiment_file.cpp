#include "params/experiment_file.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "params/bounded_file.h"
#include "params/toml_text.h"

namespace kt {
namespace {

constexpr std::size_t kMaxExperimentFileBytes = std::size_t{1} << 20;

}  // namespace

Refusal experiment_refusal(const Experiment& e, const SettingWords& words) {
  auto name = [&words](std::string_view key, std::string_view value = {}) {
    return words.text({key, value});
  };
  if (!e.scheme.empty() && e.scheme != "published" && e.scheme != "accurate") {
    return {name("scheme") + " is \"" + e.scheme + "\"", "scheme",
            "it must be published or accurate"};
  }
  if (e.pulse_shape != "file" && e.pulse_shape != "gaussian" && e.pulse_shape != "measured") {
    return {name("pulse_shape") + " is \"" + e.pulse_shape + "\"", "pulse_shape",
            "it must be file, gaussian or measured"};
  }
  if (e.pulse_shape == "measured" && e.trace.empty()) {
    return {name("pulse_shape", "measured") + " needs " + name("trace"), "trace", ""};
  }
  if (e.pulse_shape != "measured" && !e.trace.empty()) {
    return {name("trace") + " is given but " + name("pulse_shape") + " is not measured",
            "pulse_shape", ""};
  }
  if (e.pulses < 1) {
    return {name("pulses") + " is " + std::to_string(e.pulses), "pulses", "it must be 1 or more"};
  }
  if (e.pulses > kMaximumPulses) {
    return {name("pulses") + " is " + std::to_string(e.pulses), "pulses",
            "a train has at most " + std::to_string(kMaximumPulses)};
  }
  if (!(std::isfinite(e.rate_hz) && e.rate_hz >= 0.0)) {
    return {name("rate_hz") + " must be a positive number of pulses per second", "rate_hz", ""};
  }
  if (e.rate_hz != 0.0 && !(e.rate_hz >= kMinimumRateHz && e.rate_hz <= kMaximumRateHz)) {
    char value[40], range[120];
    std::snprintf(value, sizeof value, " is %g", e.rate_hz);
    std::snprintf(range, sizeof range, "a train's rate is from %g to %g Hz", kMinimumRateHz,
                  kMaximumRateHz);
    return {name("rate_hz") + value, "rate_hz", range};
  }
  if (e.pulses > 1 && !(e.rate_hz > 0.0)) {
    return {
        name("pulses", std::to_string(e.pulses)) + " needs " + name("rate_hz") + " greater than 0",
        "rate_hz", ""};
  }
  if (e.incubated_absorption &&
      !(std::isfinite(*e.incubated_absorption) && *e.incubated_absorption > 0.0)) {
    return {name("incubated_absorption") + " must be greater than 0 (1/cm)", "incubated_absorption",
            ""};
  }
  if (e.tolerance && !(std::isfinite(*e.tolerance) && *e.tolerance >= kMinimumTolerance &&
                       *e.tolerance <= kMaximumTolerance)) {
    return {name("tolerance") +
                " must be a relative error from 1e-6 to 0.1 (1e-3: a thousandth of the depth)",
            "tolerance", ""};
  }
  if (e.scheme == "published" && e.tolerance) {
    return {name("scheme", "published") + " cannot run to a " + name("tolerance") +
                ": its error is the scheme's own (leave " + name("scheme") +
                " out or choose accurate)",
            "scheme", ""};
  }
  if (e.scheme == "published" && (e.pulses > 1 || e.incubated_absorption)) {
    return {name("scheme", "published") + " cannot run " +
                (e.pulses > 1 ? name("pulses", std::to_string(e.pulses))
                              : name("incubated_absorption")) +
                ": trains and incubation run on the accurate scheme (leave " + name("scheme") +
                " out or choose accurate)",
            "scheme", ""};
  }
  if (!e.beam.empty() && e.beam != "gaussian" && e.beam != "tophat") {
    return {name("beam") + " is \"" + e.beam + "\"", "beam", "it must be gaussian or tophat"};
  }
  if (!e.beam.empty() &&
      !(std::isfinite(e.spot_radius_um) && e.spot_radius_um > 0.0 && e.spot_radius_um <= 1e5)) {
    return {name("beam", e.beam) + " needs " + name("spot_radius_um") +
                " from above 0 to 100000 (micrometres)",
            "spot_radius_um", ""};
  }
  if (e.beam.empty() && e.spot_radius_um != 0.0) {
    return {name("spot_radius_um") + " is given but no " + name("beam"), "beam", ""};
  }
  if (!(std::isfinite(e.heat_transfer) && e.heat_transfer >= 0.0 && e.heat_transfer <= 1e3)) {
    return {name("heat_transfer") + " must be from 0 to 1000 W/(cm^2 K)", "heat_transfer", ""};
  }
  if (!(std::isfinite(e.emissivity) && e.emissivity >= 0.0 && e.emissivity <= 1.0)) {
    return {name("emissivity") + " must be from 0 to 1", "emissivity", ""};
  }
  return {};
}

std::string experiment_problem(const Experiment& e, const SettingWords& words) {
  return experiment_refusal(e, words).text();
}

namespace {

// The [spot] table of an experiment file into `e`; empty, or the refusal.
std::string read_spot_table(const toml::table& table, Experiment& e, const std::string& origin) {
  for (const auto& [key, entry] : table) {
    const std::string_view k = key.str();
    const toml::node& node = entry;  // a structured binding is not captured by every compiler
    auto refuse = [&](const std::string& problem) {
      return toml_location(origin, &node) + ": spot." + std::string(k) + ": " + problem;
    };
    if (k == "beam") {
      const auto* value = node.as_string();
      if (value == nullptr) return refuse("must be a text (a quoted string)");
      e.beam = value->get();
    } else if (k == "radius_um" || k == "heat_transfer" || k == "emissivity") {
      double v = 0.0;
      if (const auto* f = node.as_floating_point()) {
        v = f->get();
      } else if (const auto* i = node.as_integer()) {
        v = static_cast<double>(i->get());
      } else {
        return refuse("must be a number");
      }
      (k == "radius_um"       ? e.spot_radius_um
       : k == "heat_transfer" ? e.heat_transfer
                              : e.emissivity) = v;
    } else {
      return refuse("unknown key (expected beam, radius_um, heat_transfer or emissivity)");
    }
  }
  if (e.beam.empty()) return origin + ": spot: needs beam (gaussian or tophat)";
  return {};
}

}  // namespace

std::optional<Experiment> parse_experiment_text(std::string_view text, const std::string& origin,
                                                const std::filesystem::path& folder,
                                                std::string& error) {
  std::optional<toml::table> parsed = parse_toml_text(text, origin, error);
  if (!parsed) return std::nullopt;
  const toml::table& root = *parsed;
  Experiment e;
  auto refuse = [&](const toml::node* node, std::string_view key, const std::string& problem) {
    error = toml_location(origin, node) + ": " + std::string(key) + ": " + problem;
    return std::nullopt;
  };
  for (const auto& [key, node] : root) {
    const std::string_view k = key.str();
    if (k == "scheme" || k == "pulse_shape" || k == "trace" || k == "material") {
      const auto* value = node.as_string();
      if (value == nullptr) return refuse(&node, k, "must be a text (a quoted string)");
      const std::string v = value->get();
      if (k == "scheme") e.scheme = v;
      if (k == "pulse_shape") e.pulse_shape = v;
      if (k == "trace") e.trace = folder / v;
      if (k == "material") e.material = folder / v;
    } else if (k == "pulses") {
      const auto* value = node.as_integer();
      if (value == nullptr) return refuse(&node, k, "must be a whole number");
      if (value->get() < 1 || value->get() > 1000000) {
        return refuse(&node, k, "must be from 1 to 1000000");
      }
      e.pulses = static_cast<int>(value->get());
    } else if (k == "rate_hz" || k == "incubated_absorption" || k == "tolerance") {
      double v = 0.0;
      if (const auto* f = node.as_floating_point()) {
        v = f->get();
      } else if (const auto* i = node.as_integer()) {
        v = static_cast<double>(i->get());
      } else {
        return refuse(&node, k, "must be a number");
      }
      if (k == "rate_hz")
        e.rate_hz = v;
      else if (k == "tolerance")
        e.tolerance = v;
      else
        e.incubated_absorption = v;
    } else if (k == "spot") {
      const toml::table* table = node.as_table();
      if (table == nullptr) return refuse(&node, k, "must be a table ([spot])");
      if (std::string problem = read_spot_table(*table, e, origin); !problem.empty()) {
        error = problem;
        return std::nullopt;
      }
    } else {
      return refuse(&node, k,
                    "unknown key (expected scheme, pulse_shape, trace, pulses, rate_hz, "
                    "incubated_absorption, material, tolerance or [spot])");
    }
  }
  if (std::string problem = experiment_problem(e); !problem.empty()) {
    error = origin + ": " + problem;
    return std::nullopt;
  }
  return e;
}

std::optional<Experiment> read_experiment_file(const std::filesystem::path& path,
                                               std::string& error) {
  const std::string origin = path.string();
  std::string text;
  if (!read_bounded_file(origin, "the experiment file", kMaxExperimentFileBytes, text, error) ||
      !check_text_encoding(text, origin, error))
    return std::nullopt;
  return parse_experiment_text(text, origin, path.parent_path(), error);
}

std::string experiment_text(const Experiment& e) {
  toml::table table;
  if (!e.scheme.empty()) table.insert("scheme", e.scheme);
  table.insert("pulse_shape", e.pulse_shape);
  if (!e.trace.empty()) table.insert("trace", e.trace.string());
  table.insert("pulses", e.pulses);
  table.insert("rate_hz", e.rate_hz);
  if (e.incubated_absorption) table.insert("incubated_absorption", *e.incubated_absorption);
  if (!e.material.empty()) table.insert("material", e.material.string());
  if (!e.beam.empty()) {
    toml::table spot;
    spot.insert("beam", e.beam);
    spot.insert("radius_um", e.spot_radius_um);
    spot.insert("heat_transfer", e.heat_transfer);
    spot.insert("emissivity", e.emissivity);
    table.insert("spot", std::move(spot));
  }
  if (e.tolerance) table.insert("tolerance", *e.tolerance);
  std::ostringstream text;
  text << toml::toml_formatter(table, toml::toml_formatter::default_flags);
  return text.str();
}

}  // namespace kt
