// The about window: a magenta panel with a blue border over the middle of the main window,
// naming the program, its makers, what it computes and how to cite it; any key removes it and
// the picture beneath comes back.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/panel.h"
#include "graphics/page_conventions.h"

namespace kt {

enum class AboutFont { large, small };

// One drawn line of the about window: colour, font, position on a 1024-pixel layout, text
// drawn at its full length.
struct AboutLine {
  PaletteColour colour = PaletteColour::black;
  AboutFont font = AboutFont::large;
  int x = 0, y = 0;
  std::string_view text;
};

inline constexpr int kAboutLineCount = 14;
extern const std::array<AboutLine, kAboutLineCount> kAboutLines;

// The fonts by screen width: from 1024 "t'tms rmn'h29w12" / "t'tms rmn'h16w9", at 800
// "t'tms rmn'h16w9" / "t'tms rmn'h12w6", below 800 "t'tms rmn'h15w8" / "t'tms rmn'h10w5";
// widths from 801 to 1023 take the fonts of the nearer of 800 and 1024.
std::string_view about_font_request(AboutFont font, int screen_width);

// Shows the about window and returns when a key has been pressed.
void show_about(const PageGeometry& page, const KeyReader& read_key);

}  // namespace kt
