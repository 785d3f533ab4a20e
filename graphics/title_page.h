// The title page: the dark-grey page with its two light-green frames, the separator under the
// title band, the program's title, the maker's line and the maker's logo. Every calculation's
// graphs are painted over it.
#pragma once

#include <cstdint>
#include <string_view>

#include "graphics/page_conventions.h"

namespace kt {

inline constexpr std::string_view kTitleText = "KT Laser Evaporation of Polymers";  // 32
inline constexpr std::string_view kMakerLine = "Zorelle Institute of Photonics  ";  // 32
inline constexpr std::string_view kLogoFileName = "ZOR.bmp";
// Under the title band, where a run's graphs cover it: which key starts a calculation.
inline constexpr std::string_view kStartHintText =
    "Press F5 (Calculation) to start a calculation; Esc stops it.";

// The frame margins of the last drawing (inner frame), 0 before the first.
struct TitleState {
  std::int16_t title_margin_x = 0;
  std::int16_t title_margin_y = 0;
};

// The margin rules of the frames: X <= 800, X = 1024 or 1152, X = 1280 or X >= 1600. A width
// that none of them names takes the row of the nearest listed width, so that the frames of
// every screen stay on the surface.
enum class TitleMarginRow { up_to_800, w1024, w1280 };
TitleMarginRow title_margin_row(int screen_width);

// The font of the title band: "t'tms rmn'h15w8" up to 640, "t'tms rmn'h16w9" at 800,
// "t'tms rmn'h29w12" from 1024; widths between take the nearest listed width's font.
std::string_view title_font_request(int screen_width);

struct PixelRect {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
struct PixelPoint {
  int x = 0, y = 0;
};

// Where everything of the title page goes, in page pixels.
struct TitleLayout {
  PixelRect outer_frame;
  PixelRect inner_frame;
  int separator_y = 0, separator_x1 = 0, separator_x2 = 0;
  PixelPoint title_at;
  PixelPoint maker_at;
  PixelPoint logo_at;
  PixelPoint hint_at;  // kStartHintText, in the label font of the graphs
  std::string_view font_request;
};

// The layout of the title page for the page geometry; `title` receives the margins of the
// inner frame, as a drawing leaves them.
TitleLayout title_page_layout(const PageGeometry& page, TitleState& title);

// Clears the main window and draws the title page with the start hint. `logo_file` names the logo
// bitmap (the logo is simply absent when it cannot be loaded).
void draw_title_page(const PageGeometry& page, TitleState& title,
                     std::string_view logo_file = kLogoFileName);

}  // namespace kt
