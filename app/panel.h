// What the help and about windows share: the key reader they wait on, the panel rectangle over
// the middle of the main window, and the saved background under it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "display/drawing_context.h"
#include "graphics/page_conventions.h"

namespace kt {

// Waits for one key and returns its code (display::read_key in the program).
using KeyReader = std::function<std::int16_t()>;

// The outer panel (108, 160)-(918, 608) of a 1024-pixel layout, scaled to the page.
struct PanelRect {
  std::int16_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
PanelRect scaled_panel(const PageGeometry& page, int x1, int y1, int x2, int y2);

// The picture under a panel: saved when made, drawn back in copy mode by restore(), both in the
// viewport of `pen` (which must outlive it).
class SavedBackground {
 public:
  // Allocates the buffer and saves the rectangle. When the buffer cannot be allocated, writes
  // "ERROR: Insufficient memory" on the text layer and ends the program; ok() is then false.
  SavedBackground(display::DrawingContext& pen, const PanelRect& rect);
  bool ok() const { return ok_; }
  // Draws the saved rectangle back at its top-left corner in copy mode and frees the buffer.
  void restore();

 private:
  display::DrawingContext& pen_;
  PanelRect rect_;
  std::unique_ptr<unsigned char[]> buffer_;
  bool ok_ = false;
};

// The filled rectangle of a panel in a palette colour.
void fill_panel(display::DrawingContext& pen, const PanelRect& rect, PaletteColour colour);

// Draws a fixed text at its full length, trailing blanks included.
void draw_fixed_text(display::DrawingContext& pen, int x, int y, std::string_view text);

}  // namespace kt
