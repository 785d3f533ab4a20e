#include "app/help_window.h"

#include <cctype>
#include <fstream>

#include "display/display.h"
#include "display/drawing_context.h"
#include "graphics/screen_rows.h"

namespace kt {
namespace {

constexpr std::string_view kMissingFont = "t'tms rmn'h29w12";

bool is_quit_key(std::int16_t key) {
  return key == 'Q' || key == 'q';
}

void select_font(display::DrawingContext& pen, std::string_view request) {
  pen.set_font(request.data(), static_cast<int>(request.size()));
}

}  // namespace

std::string_view help_font_request(int screen_width) {
  int x = screen_width;
  if (x > 800 && x < 1024) x = nearest_listed_width(x);
  if (x >= 1280) return "t'helv'h18w9";
  if (x >= 1024) return "t'helv'h15w8";
  return "t'helv'h12w7";
}

int parse_help_line_count(std::string_view record) {
  std::string_view field = record.substr(0, 3);
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  int count = 0;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c == ' ' || c == '\r') continue;  // blanks inside a numeric field count for nothing
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    count = count * 10 + (c - '0');
  }
  return negative ? 0 : count;
}

std::string help_text_line(std::string_view record) {
  if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
  std::string line(record.substr(0, kHelpLineLength));
  line.resize(kHelpLineLength, ' ');
  return line;
}

void show_help(const PageGeometry& page, const std::string& help_file, const KeyReader& read_key) {
  const float s = page.screen_scale;
  display::DrawingContext pen;
  use_whole_page(pen, page);  // the panel lies on the page, wherever the page is
  const PanelRect panel = scaled_panel(page, 108, 160, 918, 608);
  SavedBackground background(pen, panel);
  if (!background.ok()) return;
  fill_panel(pen, panel, PaletteColour::blue);

  std::ifstream file(help_file);
  if (!file) {
    pen.set_color(PaletteColour::light_red);
    select_font(pen, kMissingFont);
    draw_fixed_text(pen, scale_coordinate(350, s), scale_coordinate(300, s), kHelpMissingText);
    read_key();
    background.restore();
    return;
  }

  select_font(pen, help_font_request(page.screen_width));
  std::string record;
  const int count = std::getline(file, record) ? parse_help_line_count(record) : 0;
  int line_index = 0;
  int budget = kHelpPageBudget;
  bool text_ended = false;
  while (!text_ended) {
    pen.set_color(PaletteColour::bright_white);
    for (int k = 0; k < kHelpPageLines; ++k) {
      ++line_index;
      if (line_index > count || !std::getline(file, record)) {
        // The text ends here (or the file ended before the count promised).
        text_ended = true;
        break;
      }
      const std::string line = help_text_line(record);
      draw_fixed_text(pen, scale_coordinate(118, s), scale_coordinate(177 + 17 * k, s), line);
    }
    if (text_ended) break;
    if (is_quit_key(read_key())) {
      background.restore();
      return;
    }
    fill_panel(pen, panel, PaletteColour::blue);
    --budget;
    if (budget <= 0) break;
  }
  read_key();  // the last page stays up until a key is pressed
  background.restore();
}

}  // namespace kt
