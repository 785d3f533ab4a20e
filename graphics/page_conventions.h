// Conventions shared by the graph panels of the page: the page geometry, the two forms of
// pixel arithmetic, the width-dependent fonts and layout rows, the palette indices, the
// 10-character number labels and a few drawing shorthands over a drawing context.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "display/display.h"

namespace kt::display {
class DrawingContext;
}

namespace kt {

// The page of the main window, filled once at start-up: the layout size (screen_width x
// screen_height, screen_scale = screen_width/1024) and where that page lies on the drawing
// surface. The surface may be larger than the page (a wide screen); the page is then centred
// on it and the rest shows the page background. An area of 0 means the page fills the surface.
struct PageGeometry {
  std::int16_t screen_width = 0;
  std::int16_t screen_height = 0;
  float screen_scale = 0.0f;
  std::int16_t origin_x = 0, origin_y = 0;       // the page's top-left corner on the surface
  std::int16_t area_width = 0, area_height = 0;  // the whole surface
};

// The page for a surface of `width` x `height` pixels: the largest of the listed layouts
// (640x480, 800x600, 1024x768, 1152x864, 1280x1024, 1600x1200) whose width and height both
// fit, centred. A surface smaller than every layout is itself the page.
PageGeometry page_for_area(int width, int height);

// ---- Pixel arithmetic ------------------------------------------------------------------------

// trunc(base + fraction·extent): the 32-bit fraction is widened, the sum formed in 64-bit real
// arithmetic and truncated once toward zero.
int page_offset(int base, float fraction, int extent);
// trunc(fraction·extent).
inline int page_fraction(float fraction, int extent) {
  return page_offset(0, fraction, extent);
}
// ⌊k·s⌋: a fixed offset of the 1024-pixel layout, truncated before it is added to a coordinate.
int scaled(int k, float scale);

// ---- Width rows ------------------------------------------------------------------------------

// The rows of the width tables: W <= 640, W = 800, W = 1024 or 1152, W = 1280 or W >= 1600.
// Any other width takes the row of the nearest listed width (640, 800, 1024, 1152, 1280,
// 1600), the lower one on a tie, so that every width gets fonts and a visible layout.
enum class WidthRow { w640, w800, w1024, w1280 };
WidthRow width_row(int screen_width);

// The panel layouts have three rows: W <= 800, W = 1024 or 1152, W = 1280 or W >= 1600; other
// widths again take the nearest row.
enum class LayoutRow { up_to_800, w1024, w1280 };
LayoutRow layout_row(int screen_width);

// Font requests of the graph panels.
std::string_view label_font_request(int screen_width);
std::string_view temporal_title_font_request(int screen_width);

// A font request in its 20-character blank-padded field, selected with length 20.
class FontField {
 public:
  FontField() { chars_.fill(' '); }
  void assign(std::string_view request);
  void select(display::DrawingContext& pen) const;
  std::string_view text() const { return {chars_.data(), chars_.size()}; }

 private:
  std::array<char, 20> chars_{};
};

// ---- Palette ---------------------------------------------------------------------------------

// The display's palette colours by name.
using display::PaletteColour;

// ---- Number labels ---------------------------------------------------------------------------

// Every number on the page is formatted into a 10-character field: the number fills the first
// w cells, the remaining 10 - w are blanks. The text buffer is reserved once, so formatting
// and drawing a label does not allocate here.
class NumberField {
 public:
  static constexpr int kLength = 10;
  NumberField() { text_.reserve(32); }
  void set_fixed(double value, int width, int decimals);       // Fw.d
  void set_scientific(double value, int width, int decimals);  // ESw.d
  std::string_view text() const { return text_; }
  // Draws the field, all 10 characters, with its top-left corner at (x, y).
  void draw_at(display::DrawingContext& pen, int x, int y) const;

 private:
  void pad();
  std::string text_;
};

// ---- Drawing shorthands ----------------------------------------------------------------------

void use_colour(display::DrawingContext& pen, PaletteColour colour);
void fill_box(display::DrawingContext& pen, int x1, int y1, int x2, int y2);
void outline_box(display::DrawingContext& pen, int x1, int y1, int x2, int y2);
void draw_line(display::DrawingContext& pen, int x1, int y1, int x2, int y2);
void draw_caption(display::DrawingContext& pen, int x, int y, std::string_view text);
// A viewport given in page coordinates (shifted by the page's origin on the surface).
void set_page_viewport(display::DrawingContext& pen, const PageGeometry& page, int x1, int y1,
                       int x2, int y2);
// The viewport of the whole page: what is drawn in page coordinates lands on the page only.
void use_whole_page(display::DrawingContext& pen, const PageGeometry& page);
// The viewport of the whole surface, page background included.
void use_whole_area(display::DrawingContext& pen, const PageGeometry& page);

// ---- Axis scales -----------------------------------------------------------------------------

// An axis top or time scale handed to a plot: values of zero or less, NaN or infinity cannot
// grow by doubling and give a real window without extent, so they are replaced by 1.
float usable_axis_top(float top);
// Doubles an axis top, never past the largest finite 32-bit real. False when the top is
// already there and cannot grow.
bool double_axis_top(float& top);

}  // namespace kt
