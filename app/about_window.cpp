#include "app/about_window.h"

#include "display/drawing_context.h"
#include "graphics/screen_rows.h"

namespace kt {
namespace {

constexpr PaletteColour kYellow = PaletteColour::yellow;
constexpr PaletteColour kLightGreen = PaletteColour::light_green;
constexpr PaletteColour kLightCyan = PaletteColour::light_cyan;
constexpr PaletteColour kBrightWhite = PaletteColour::bright_white;

using F = AboutFont;

}  // namespace

// The texts are drawn at exactly these lengths: 16, 47, 24, 26, 40, 33, 26, 40, 40, 44, 47, 30,
// 72 and 79 characters.
const std::array<AboutLine, kAboutLineCount> kAboutLines = {{
    {kYellow, F::large, 380, 170, "Kestrium Program"},
    {kYellow, F::large, 250, 205, "Zorelle Institute of Photonics, Laser Division "},
    {kYellow, F::large, 350, 240, "Examplemere, Nowhereland"},
    {kLightGreen, F::large, 350, 295, "The Program is created by "},
    {kLightGreen, F::large, 250, 330, "A. N. Example, B. Placeholder, C. Sample"},
    {kLightGreen, F::large, 150, 365, "E-mail: kt-lab@example.org       "},
    {kLightGreen, F::large, 550, 365, "Fax: +00 000 000 0000     "},
    {kBrightWhite, F::large, 250, 425, "The Program calculates Laser Ablation of"},
    {kBrightWhite, F::large, 250, 460, "absorbing Polymers by nanosecond pulses."},
    {kLightCyan, F::small, 130, 500, "It is necessary to refer to authors [1,2] of"},
    {kLightCyan, F::small, 480, 500, "the Program at publication of the data obtained"},
    {kLightCyan, F::small, 130, 520, "by means of this Program code."},
    {kLightCyan, F::small, 150, 540,
     "1. https://www.example.org/zorelle/kestrium/ (program page, placeholder)"},
    {kLightCyan, F::small, 150, 560,
     "2. A.N. Example, B. Placeholder, J. Fict. Laser Sci. 1, 1-10 (2000), fictional."},
}};

std::string_view about_font_request(AboutFont font, int screen_width) {
  int x = screen_width;
  if (x > 800 && x < 1024) x = nearest_listed_width(x);
  const bool large = font == AboutFont::large;
  // The small font is one pixel narrower than 9 so that the two halves of the citation sentence,
  // side by side at x 130 and 480, do not overlap with the installed serif face.
  if (x >= 1024) return large ? "t'tms rmn'h29w12" : "t'tms rmn'h16w8";
  if (x == 800) return large ? "t'tms rmn'h16w9" : "t'tms rmn'h12w6";
  return large ? "t'tms rmn'h15w8" : "t'tms rmn'h10w5";
}

void show_about(const PageGeometry& page, const KeyReader& read_key) {
  const float s = page.screen_scale;
  display::DrawingContext pen;
  use_whole_page(pen, page);  // the panel lies on the page, wherever the page is
  const PanelRect outer = scaled_panel(page, 108, 160, 918, 608);
  const PanelRect inner = scaled_panel(page, 117, 176, 909, 592);
  SavedBackground background(pen, outer);
  if (!background.ok()) return;
  fill_panel(pen, outer, PaletteColour::blue);
  fill_panel(pen, inner, PaletteColour::magenta);

  bool colour_selected = false;
  PaletteColour colour = PaletteColour::black;
  bool font_selected = false;
  AboutFont font = AboutFont::large;
  for (const AboutLine& line : kAboutLines) {
    if (!colour_selected || line.colour != colour) {
      colour_selected = true;
      colour = line.colour;
      pen.set_color(colour);
    }
    if (!font_selected || line.font != font) {
      font = line.font;
      font_selected = true;
      const std::string_view request = about_font_request(font, page.screen_width);
      pen.set_font(request.data(), static_cast<int>(request.size()));
    }
    draw_fixed_text(pen, scale_coordinate(line.x, s), scale_coordinate(line.y, s), line.text);
  }
  read_key();
  background.restore();
}

}  // namespace kt
