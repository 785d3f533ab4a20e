// Page conventions of the graph panels: pixel arithmetic, width rows, fonts, number labels.
#include "graphics/page_conventions.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "display/drawing_context.h"
#include "params/number_format.h"

namespace kt {

namespace {

std::int16_t px(int v) {
  return static_cast<std::int16_t>(v);
}

struct ListedWidth {
  int width;
  WidthRow row;
};
constexpr std::array<ListedWidth, 6> kListedWidths = {{{640, WidthRow::w640},
                                                       {800, WidthRow::w800},
                                                       {1024, WidthRow::w1024},
                                                       {1152, WidthRow::w1024},
                                                       {1280, WidthRow::w1280},
                                                       {1600, WidthRow::w1280}}};

}  // namespace

int page_offset(int base, float fraction, int extent) {
  const double sum = static_cast<double>(base) + static_cast<double>(fraction) * extent;
  return static_cast<int>(std::trunc(sum));
}

int scaled(int k, float scale) {
  return static_cast<int>(std::trunc(static_cast<double>(k) * static_cast<double>(scale)));
}

WidthRow width_row(int screen_width) {
  if (screen_width <= 640) return WidthRow::w640;
  if (screen_width >= 1600) return WidthRow::w1280;
  // Exact matches and every width in between: the nearest listed width, the lower on a tie.
  WidthRow best = WidthRow::w640;
  int best_distance = std::numeric_limits<int>::max();
  for (const ListedWidth& listed : kListedWidths) {
    const int distance = std::abs(screen_width - listed.width);
    if (distance < best_distance) {
      best_distance = distance;
      best = listed.row;
    }
  }
  return best;
}

LayoutRow layout_row(int screen_width) {
  if (screen_width <= 800) return LayoutRow::up_to_800;
  switch (width_row(screen_width)) {
    case WidthRow::w640:
    case WidthRow::w800:
      return LayoutRow::up_to_800;
    case WidthRow::w1024:
      return LayoutRow::w1024;
    case WidthRow::w1280:
      break;
  }
  return LayoutRow::w1280;
}

std::string_view label_font_request(int screen_width) {
  switch (width_row(screen_width)) {
    case WidthRow::w640:
      return "t'helv'h10w5";
    case WidthRow::w800:
      return "t'helv'h12w7";
    case WidthRow::w1024:
      return "t'helv'h15w8";
    case WidthRow::w1280:
      break;
  }
  return "t'helv'h18w9";
}

std::string_view temporal_title_font_request(int screen_width) {
  switch (width_row(screen_width)) {
    case WidthRow::w640:
      return "t'tms rmn'h15w8";
    case WidthRow::w800:
      return "t'tms rmn'h16w9";
    case WidthRow::w1024:
    case WidthRow::w1280:
      break;
  }
  return "t'tms rmn'h26w16";
}

void FontField::assign(std::string_view request) {
  chars_.fill(' ');
  const std::size_t n = request.size() < chars_.size() ? request.size() : chars_.size();
  for (std::size_t i = 0; i < n; ++i) chars_[i] = request[i];
}

void FontField::select(display::DrawingContext& pen) const {
  pen.set_font(chars_.data(), static_cast<int>(chars_.size()));
}

void NumberField::set_fixed(double value, int width, int decimals) {
  text_.clear();
  append_fixed(text_, value, width, decimals);
  pad();
}

void NumberField::set_scientific(double value, int width, int decimals) {
  text_.clear();
  append_scientific(text_, value, width, decimals);
  pad();
}

void NumberField::pad() {
  text_.resize(kLength, ' ');
}

void NumberField::draw_at(display::DrawingContext& pen, int x, int y) const {
  pen.move_to(px(x), px(y));
  pen.draw_text(text_.data(), static_cast<int>(text_.size()));
}

void use_colour(display::DrawingContext& pen, PaletteColour colour) {
  pen.set_color(colour);
}

void fill_box(display::DrawingContext& pen, int x1, int y1, int x2, int y2) {
  pen.draw_rectangle(3, px(x1), px(y1), px(x2), px(y2));
}

void outline_box(display::DrawingContext& pen, int x1, int y1, int x2, int y2) {
  pen.draw_rectangle(2, px(x1), px(y1), px(x2), px(y2));
}

void draw_line(display::DrawingContext& pen, int x1, int y1, int x2, int y2) {
  pen.move_to(px(x1), px(y1));
  pen.line_to(px(x2), px(y2));
}

void draw_caption(display::DrawingContext& pen, int x, int y, std::string_view text) {
  pen.move_to(px(x), px(y));
  pen.draw_text(text.data(), static_cast<int>(text.size()));
}

PageGeometry page_for_area(int width, int height) {
  struct Layout {
    int width, height;
  };
  static constexpr std::array<Layout, 6> kLayouts = {
      {{1600, 1200}, {1280, 1024}, {1152, 864}, {1024, 768}, {800, 600}, {640, 480}}};
  PageGeometry page;
  page.area_width = px(width);
  page.area_height = px(height);
  int page_width = width, page_height = height;
  for (const Layout& layout : kLayouts) {
    if (layout.width <= width && layout.height <= height) {
      page_width = layout.width;
      page_height = layout.height;
      break;
    }
  }
  page.screen_width = px(page_width);
  page.screen_height = px(page_height);
  page.screen_scale = static_cast<float>(page_width) / 1024.0f;
  page.origin_x = px((width - page_width) / 2);
  page.origin_y = px((height - page_height) / 2);
  return page;
}

void set_page_viewport(display::DrawingContext& pen, const PageGeometry& page, int x1, int y1,
                       int x2, int y2) {
  pen.set_viewport(px(page.origin_x + x1), px(page.origin_y + y1), px(page.origin_x + x2),
                   px(page.origin_y + y2));
}

void use_whole_page(display::DrawingContext& pen, const PageGeometry& page) {
  set_page_viewport(pen, page, 0, 0, page.screen_width - 1, page.screen_height - 1);
}

void use_whole_area(display::DrawingContext& pen, const PageGeometry& page) {
  const int width = page.area_width > 0 ? page.area_width : page.screen_width;
  const int height = page.area_height > 0 ? page.area_height : page.screen_height;
  pen.set_viewport(0, 0, px(width - 1), px(height - 1));
}

float usable_axis_top(float top) {
  return (top > 0.0f && std::isfinite(top)) ? top : 1.0f;
}

bool double_axis_top(float& top) {
  constexpr float kLargest = std::numeric_limits<float>::max();
  if (!(top < kLargest)) return false;
  top = top > kLargest / 2.0f ? kLargest : top * 2.0f;
  return true;
}

}  // namespace kt
