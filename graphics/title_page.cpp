#include "graphics/title_page.h"

#include <cmath>
#include <string>

#include "display/drawing_context.h"
#include "graphics/screen_rows.h"

namespace kt {
namespace {

constexpr std::int16_t kOutline = 2;
constexpr std::int16_t kFilled = 3;

int truncate(float value) {
  return static_cast<int>(std::trunc(value));
}

struct Margins {
  int x = 0, y = 0;
};

// The margins of one frame whose corner offset is a = offset·S.
Margins frame_margins(TitleMarginRow row, int x, int y, float a) {
  const float fx = static_cast<float>(x);
  const float fy = static_cast<float>(y);
  switch (row) {
    case TitleMarginRow::up_to_800:
      return {truncate(0.022f * fx + a), truncate(0.15f * fy + a)};
    case TitleMarginRow::w1024:
      return {truncate(0.02f * fx + a), truncate(0.12f * fy + a)};
    case TitleMarginRow::w1280:
      return {truncate(0.015f * fx + a), truncate(0.105f * fy + a)};
  }
  return {};
}

}  // namespace

TitleMarginRow title_margin_row(int screen_width) {
  int x = screen_width;
  const bool listed = x <= 800 || x == 1024 || x == 1152 || x == 1280 || x >= 1600;
  if (!listed) x = nearest_listed_width(x);
  if (x <= 800) return TitleMarginRow::up_to_800;
  if (x == 1024 || x == 1152) return TitleMarginRow::w1024;
  return TitleMarginRow::w1280;
}

std::string_view title_font_request(int screen_width) {
  int x = screen_width;
  if (x > 640 && x < 1024 && x != 800) x = nearest_listed_width(x);
  if (x <= 640) return "t'tms rmn'h15w8";
  if (x == 800) return "t'tms rmn'h16w9";
  return "t'tms rmn'h29w12";
}

TitleLayout title_page_layout(const PageGeometry& page, TitleState& title) {
  const int x = page.screen_width;
  const int y = page.screen_height;
  const float s = page.screen_scale;
  const TitleMarginRow row = title_margin_row(x);
  TitleLayout layout;

  const float outer_a = 5.0f * s;
  Margins m = frame_margins(row, x, y, outer_a);
  title.title_margin_x = static_cast<std::int16_t>(m.x);
  title.title_margin_y = static_cast<std::int16_t>(m.y);
  layout.outer_frame = {truncate(outer_a), truncate(outer_a), x - m.x, y - m.y};

  const float inner_a = 8.0f * s;
  m = frame_margins(row, x, y, inner_a);
  title.title_margin_x = static_cast<std::int16_t>(m.x);
  title.title_margin_y = static_cast<std::int16_t>(m.y);
  layout.inner_frame = {truncate(inner_a), truncate(inner_a), x - m.x, y - m.y};

  layout.separator_y = y / 10;
  if (x == 800) layout.separator_y = y / 8;
  if (x <= 640) layout.separator_y = y / 7;
  layout.separator_x1 = truncate(inner_a);
  layout.separator_x2 = x - m.x;  // the inner frame's right margin, row by row

  layout.font_request = title_font_request(x);
  layout.title_at = {x / 70, y / 20};
  layout.maker_at = {x <= 640 ? truncate(static_cast<float>(x) * 11.5f / 20.0f) : (12 * x) / 20,
                     y / 20};
  layout.logo_at = {x <= 640 ? scale_coordinate(425, s) : scale_coordinate(460, s),
                    scale_coordinate(12, s)};
  // Within the temporal panel's box at every width: a run's page covers it.
  layout.hint_at = {x / 4, truncate(0.55f * static_cast<float>(y))};
  return layout;
}

void draw_title_page(const PageGeometry& page, TitleState& title, std::string_view logo_file) {
  display::DrawingContext pen;
  const TitleLayout l = title_page_layout(page, title);
  const auto i16 = [](int v) { return static_cast<std::int16_t>(v); };

  pen.set_color(PaletteColour::grey);
  if (page.area_width > page.screen_width || page.area_height > page.screen_height) {
    // A surface larger than the page: the page background around it as well.
    use_whole_area(pen, page);
    pen.draw_rectangle(kFilled, 0, 0, page.area_width, page.area_height);
  }
  use_whole_page(pen, page);
  pen.draw_rectangle(kFilled, 0, 0, page.screen_width, page.screen_height);
  pen.set_color(PaletteColour::light_green);
  pen.draw_rectangle(kOutline, i16(l.outer_frame.x1), i16(l.outer_frame.y1), i16(l.outer_frame.x2),
                     i16(l.outer_frame.y2));
  pen.draw_rectangle(kOutline, i16(l.inner_frame.x1), i16(l.inner_frame.y1), i16(l.inner_frame.x2),
                     i16(l.inner_frame.y2));
  pen.move_to(i16(l.separator_x1), i16(l.separator_y));
  pen.line_to(i16(l.separator_x2), i16(l.separator_y));

  // The logo first: where a text runs into it (a text drawn at a high-density screen's own
  // resolution can be a little wider), the text stays whole over it.
  const std::string logo(logo_file);
  pen.load_bitmap(logo.c_str(), static_cast<int>(logo.size()), i16(l.logo_at.x), i16(l.logo_at.y));

  pen.set_font(l.font_request.data(), static_cast<int>(l.font_request.size()));
  pen.move_to(i16(l.title_at.x), i16(l.title_at.y));
  pen.set_color(PaletteColour::yellow);
  pen.draw_text(kTitleText.data(), static_cast<int>(kTitleText.size()));
  pen.set_color(PaletteColour::light_green);
  pen.move_to(i16(l.maker_at.x), i16(l.maker_at.y));
  pen.draw_text(kMakerLine.data(), static_cast<int>(kMakerLine.size()));

  const std::string_view hint_font = label_font_request(page.screen_width);
  pen.set_font(hint_font.data(), static_cast<int>(hint_font.size()));
  pen.set_color(PaletteColour::light_cyan);
  pen.move_to(i16(l.hint_at.x), i16(l.hint_at.y));
  pen.draw_text(kStartHintText.data(), static_cast<int>(kStartHintText.size()));
}

}  // namespace kt
