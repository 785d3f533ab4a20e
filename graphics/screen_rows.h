// Screen-width helpers of the page: the 1024-pixel layouts scaled to the screen,
// and the nearest listed screen width for widths that the width tables do not name.
#pragma once

#include <cstdint>

namespace kt {

// trunc(c · screen_scale) in 32-bit real arithmetic: a coordinate of a layout made for a
// 1024-pixel-wide screen, scaled to the screen and truncated toward zero.
std::int16_t scale_coordinate(int c, float screen_scale);

// The listed screen width (640, 800, 1024, 1152, 1280, 1600) nearest to `screen_width`, the
// lower one on a tie; widths below 640 give 640 and above 1600 give 1600.
int nearest_listed_width(int screen_width);

}  // namespace kt
