#include "graphics/screen_rows.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace kt {

std::int16_t scale_coordinate(int c, float screen_scale) {
  const float scaled = static_cast<float>(c) * screen_scale;
  return static_cast<std::int16_t>(std::trunc(scaled));
}

int nearest_listed_width(int screen_width) {
  static constexpr std::array<int, 6> kListed = {640, 800, 1024, 1152, 1280, 1600};
  int best = kListed[0];
  for (int listed : kListed) {
    if (std::abs(listed - screen_width) < std::abs(best - screen_width)) best = listed;
  }
  return best;
}

}  // namespace kt
