// An offscreen main window of a given size for the drawing tests, painted dark grey first so
// that whatever a drawing leaves untouched is recognisable, with its page geometry and pixel
// queries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/drawing_context.h"
#include "graphics/page_conventions.h"

namespace kt::test {

// The 0xRRGGBB pixel of a palette colour, as surface_pixel returns it.
constexpr std::int32_t pixel_of(display::PaletteColour colour) {
  return static_cast<std::int32_t>(display::palette_rgb(colour));
}
inline constexpr std::int32_t kBlue = pixel_of(display::PaletteColour::blue);
inline constexpr std::int32_t kCyan = pixel_of(display::PaletteColour::cyan);
inline constexpr std::int32_t kMagenta = pixel_of(display::PaletteColour::magenta);
inline constexpr std::int32_t kGrey = pixel_of(display::PaletteColour::grey);
inline constexpr std::int32_t kLightGreen = pixel_of(display::PaletteColour::light_green);
inline constexpr std::int32_t kLightCyan = pixel_of(display::PaletteColour::light_cyan);
inline constexpr std::int32_t kLightRed = pixel_of(display::PaletteColour::light_red);
inline constexpr std::int32_t kYellow = pixel_of(display::PaletteColour::yellow);
inline constexpr std::int32_t kWhite = pixel_of(display::PaletteColour::bright_white);

class OffscreenPage {
 public:
  // At a device pixel ratio above 1 the surface holds that many device pixels per page pixel;
  // the pixel queries then read the top-left device pixel of each page pixel.
  OffscreenPage(int width, int height, double device_pixel_ratio = 1.0);
  ~OffscreenPage();
  OffscreenPage(const OffscreenPage&) = delete;
  OffscreenPage& operator=(const OffscreenPage&) = delete;

  bool ready() const { return ready_; }
  const PageGeometry& page() const { return page_; }
  // Paints the whole page dark grey again, as a new title page would cover it.
  void clear();
  std::int32_t pixel(int x, int y) const;
  // Pixels of the colour in the rectangle, edges inclusive.
  int count(int x1, int y1, int x2, int y2, std::int32_t colour) const;
  // Pixels of any colour other than the given one in the rectangle.
  int count_other(int x1, int y1, int x2, int y2, std::int32_t colour) const;
  // Bounding box of the pixels of a colour in a rectangle; false when there is none.
  bool extent(int x1, int y1, int x2, int y2, std::int32_t colour, int& min_x, int& min_y,
              int& max_x, int& max_y) const;
  // Every pixel of a rectangle, row by row.
  std::vector<std::int32_t> pixels(int x1, int y1, int x2, int y2) const;
  // Saves the page under shots/ in the build tree (never in the source tree); returns the path.
  std::string save(const std::string& name) const;

 private:
  PageGeometry page_;
  double ratio_ = 1.0;
  bool ready_ = false;
  display::DrawingContext pen_;
};

}  // namespace kt::test
