// An experiment: what a run adds to its parameter file, as the laboratory ran it — the
// numerical scheme, the pulse shape or a measured trace, a pulse train and its rate, the
// absorption of the incubated material and a material file. Each is a command-line option and
// a Python keyword; an experiment file (TOML) collects them so that a run is reproducible from
// the `.par` and that one file:
//
//   scheme = "accurate"              # "published" or "accurate"; unset: published for one
//                                    # pulse without incubation, accurate otherwise
//   pulse_shape = "measured"         # "file" (the parameter file's), "gaussian", "measured"
//   trace = "pulse.csv"              # with "measured"; relative to the experiment file
//   pulses = 10                      # N >= 1
//   rate_hz = 10.0                   # > 0 when pulses > 1
//   incubated_absorption = 9.6e5     # 1/cm; default: the absorption coefficient
//   material = "pmma.toml"           # relative to the experiment file
//   tolerance = 1e-3                 # accurate scheme: the relative error of the depth and
//                                    # the peak temperature the run refines its grid to
//
//   [spot]                           # a focused spot instead of a uniform fluence
//   beam = "gaussian"                # "gaussian" (radius at 1/e^2) or "tophat"
//   radius_um = 50.0                 # > 0
//   heat_transfer = 1.0e-3           # W/(cm^2 K), convection at the surface (>= 0)
//   emissivity = 0.9                 # 0 ... 1, radiation from the surface
//
// Unknown keys and wrong types are refused with the file, the key and the expected type.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "params/refusal.h"
#include "params/setting_words.h"

namespace kt {

// The repetition rates a train may have [Hz]: from one pulse in about 17 minutes to a GHz (the
// pulses must also not overlap, which the run checks with the pulse's length).
inline constexpr double kMinimumRateHz = 1e-3;
inline constexpr double kMaximumRateHz = 1e9;
// The most pulses of a train.
inline constexpr int kMaximumPulses = 1000000;
// The tolerances the accurate scheme refines its grid to (relative errors).
inline constexpr double kMinimumTolerance = 1e-6;
inline constexpr double kMaximumTolerance = 0.1;
// The surface losses of a spot, when the experiment names none. Natural convection of a
// horizontal plate in still air is 2 to 25 W/(m^2 K) (textbook range); 10 W/(m^2 K) is taken.
// The emissivity of a polymer film in the thermal infrared is taken as 0.9 (an assumption: it
// falls for films thinner than the infrared absorption length).
inline constexpr double kDefaultHeatTransfer = 1.0e-3;  // W/(cm^2 K)
inline constexpr double kDefaultEmissivity = 0.9;

struct Experiment {
  std::string scheme;  // empty: not chosen (the run chooses by its pulses)
  std::string pulse_shape = "file";
  std::filesystem::path trace;  // resolved against the experiment file's folder
  int pulses = 1;
  double rate_hz = 0.0;
  std::optional<double> incubated_absorption;  // 1/cm
  std::filesystem::path material;              // resolved likewise
  // The spot: empty beam for none (the fluence is the same everywhere), else "gaussian" or
  // "tophat" with its radius; the surface losses of the cooling between a spot's pulses.
  std::string beam;
  double spot_radius_um = 0.0;
  double heat_transfer = kDefaultHeatTransfer;  // W/(cm^2 K)
  double emissivity = kDefaultEmissivity;
  std::optional<double> tolerance;  // relative; unset: one run on the grid as is

  bool operator==(const Experiment&) const = default;
  // True when nothing differs from a plain single run of the parameter file.
  bool is_plain() const { return *this == Experiment{}; }
};

// Empty when the settings make sense together; otherwise the refusal, its setting the key at
// fault and its problem naming the settings in `words` (the file's keys by default; the front
// end's words for the settings it was given). A train or incubation runs on the accurate scheme
// only: an explicit published scheme with either is refused, naming both; so is a tolerance.
Refusal experiment_refusal(const Experiment& experiment,
                           const SettingWords& words = plain_setting_words());
// The refusal's text (empty when there is none).
std::string experiment_problem(const Experiment& experiment,
                               const SettingWords& words = plain_setting_words());

std::optional<Experiment> read_experiment_file(const std::filesystem::path& path,
                                               std::string& error);
std::optional<Experiment> parse_experiment_text(std::string_view text, const std::string& origin,
                                                const std::filesystem::path& folder,
                                                std::string& error);

// The experiment as the text of an experiment file (sorted keys; what a study hashes).
std::string experiment_text(const Experiment& experiment);

}  // namespace kt
