// Fuzz target (libFuzzer) for the readers of measured crater diameters and of measured thresholds
// at several pulse numbers, and the fits of what they read. Besides crashes and sanitizer
// findings it checks the readers' promises: a refusal names the source and holds no NUL byte,
// every row taken has finite values in range, and a fit that succeeds gives a positive, finite
// threshold and spot radius.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/lab_thresholds.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

void require_refusal(const std::string& error) {
  require(error.rfind("fuzz.csv", 0) == 0);
  require(error.find('\0') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (const auto diameters = kt::parse_diameter_text(text, "fuzz.csv", error)) {
    require(!diameters->points.empty());
    for (const kt::DiameterPoint& p : diameters->points) {
      require(p.energy_uj > 0.0 && std::isfinite(p.energy_uj));
      require(p.diameter_um >= 0.0 && std::isfinite(p.diameter_um));
      require(p.pulses >= 1 && p.pulses <= 1000000);
    }
    const kt::D2Fit fit = kt::fit_d2(diameters->points);
    if (fit.ok) {
      require(fit.threshold_fluence > 0.0 && std::isfinite(fit.threshold_fluence));
      require(fit.radius_um > 0.0 && std::isfinite(fit.radius_um));
    } else {
      require(!fit.message.empty());
    }
  } else {
    require_refusal(error);
  }
  error.clear();
  if (const auto thresholds = kt::parse_threshold_text(text, "fuzz.csv", error)) {
    require(!thresholds->points.empty());
    for (const kt::IncubationPoint& p : thresholds->points)
      require(p.pulses >= 1.0 && p.threshold > 0.0 && std::isfinite(p.threshold));
    const kt::IncubationFit fit = kt::fit_incubation(thresholds->points);
    require(fit.ok || !fit.message.empty());
  } else {
    require_refusal(error);
  }
  return 0;
}
