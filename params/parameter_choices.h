// The choices of the Parameter set and of the current-file location: each a named set of
// whole-number codes, the codes parameter files and the field table write. The underlying type
// is fixed, so a code outside the named set (an ablation model 3 read from a file) is held and
// written back unchanged. Such a code keeps the meaning the format gives it where it has one (an
// autoscale 0 keeps the scales, a kinetics mode 2 appends); a run refuses the others by name
// (check_run_choices): the model leaves an ablation model, pulse shape or material 3 undefined.
#pragma once

#include <cstdint>

namespace kt {

enum class AblationModel : std::int32_t { surface = 1, bulk = 2 };
enum class PulseShape : std::int32_t { triangle = 1, rectangle = 2 };
// A code but 1 or 2 is refused by the run.
enum class Material : std::int32_t { polyimide = 1, other = 2 };
enum class SpatialOutput : std::int32_t { none = 0, temperature = 1, fraction = 2, both = 3 };
// Every code but 1 keeps the scales as they stand.
enum class Autoscale : std::int32_t { automatic = 1, manual = 2 };
// Every code but 0 appends.
enum class KineticsFileMode : std::int32_t { rewrite = 0, addition = 1 };
// Every code but 2 uses the short name.
enum class ParameterFileMode : std::int32_t { short_name = 1, full_path = 2 };

// The whole number a choice is written as.
template <class Choice>
constexpr std::int32_t choice_code(Choice choice) {
  return static_cast<std::int32_t>(choice);
}

}  // namespace kt
