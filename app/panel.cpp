#include "app/panel.h"

#include <new>

#include "display/display.h"
#include "display/drawing_context.h"
#include "graphics/screen_rows.h"

namespace kt {

PanelRect scaled_panel(const PageGeometry& page, int x1, int y1, int x2, int y2) {
  const float s = page.screen_scale;
  return {scale_coordinate(x1, s), scale_coordinate(y1, s), scale_coordinate(x2, s),
          scale_coordinate(y2, s)};
}

SavedBackground::SavedBackground(display::DrawingContext& pen, const PanelRect& rect)
    : pen_(pen), rect_(rect) {
  std::int32_t size = pen.image_size(rect.x1, rect.y1, rect.x2, rect.y2);
  if (size < 0) size = 0;
  buffer_.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(size) + 1]);
  if (!buffer_) {
    display::write_line("ERROR: Insufficient memory");
    display::end_program(0);
    return;
  }
  pen.save_image(rect.x1, rect.y1, rect.x2, rect.y2, buffer_.get());
  ok_ = true;
}

void SavedBackground::restore() {
  if (!buffer_) return;
  constexpr std::int16_t kCopy = 3;
  pen_.restore_image(rect_.x1, rect_.y1, buffer_.get(), kCopy);
  buffer_.reset();
}

void fill_panel(display::DrawingContext& pen, const PanelRect& rect, PaletteColour colour) {
  constexpr std::int16_t kFilled = 3;
  pen.set_color(colour);
  pen.draw_rectangle(kFilled, rect.x1, rect.y1, rect.x2, rect.y2);
}

void draw_fixed_text(display::DrawingContext& pen, int x, int y, std::string_view text) {
  pen.move_to(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
  pen.draw_text(text.data(), static_cast<int>(text.size()));
}

}  // namespace kt
