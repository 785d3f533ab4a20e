// Fuzz target (libFuzzer) for the measured-data reader and the Beer-Lambert analysis of what it
// reads. Besides crashes and sanitizer findings it checks the reader's promises: every point
// it takes has a fluence the model runs and finite numbers, a refusal names the source and
// holds no NUL byte (a message is never cut short), and a line it takes fits a threshold that
// is a positive, finite fluence.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/beer_lambert.h"
#include "analysis/measured_data.h"

namespace {

void require(bool promise) {
  if (!promise) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kt::DepthQuantity surface = kt::DepthQuantity::surface;
  for (const kt::DepthQuantity* wanted :
       {static_cast<const kt::DepthQuantity*>(nullptr), &surface}) {
    kt::MeasuredData measured;
    std::string error;
    if (!kt::parse_measured_csv(text, "fuzz.csv", measured, error, wanted)) {
      require(error.rfind("fuzz.csv", 0) == 0);
      require(error.find('\0') == std::string::npos);
      require(measured.points.empty());
      continue;
    }
    require(!measured.points.empty());
    require(measured.points.size() <= kt::kMaximumMeasuredPoints);
    for (const kt::MeasuredPoint& p : measured.points) {
      require(p.fluence > 0.0 && p.fluence <= kt::kMaximumModelFluence);
      require(std::isfinite(p.depth_nm) && p.sigma_nm > 0.0 && std::isfinite(p.sigma_nm));
    }
    for (const bool weighted : {false, true}) {
      const kt::BeerLambertFit fit = kt::fit_beer_lambert(measured.points, 1.0, weighted);
      if (fit.ok) {
        require(fit.threshold_fluence > 0.0 && std::isfinite(fit.threshold_fluence));
        require(fit.absorption_length_nm > 0.0 && std::isfinite(fit.absorption_length_nm));
      } else {
        require(!fit.message.empty());
      }
    }
  }
  return 0;
}
