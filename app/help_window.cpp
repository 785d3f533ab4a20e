#include "app/help_window.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

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

HelpKey classify_help_key(std::int16_t code, const KeyReader& read_key) {
  if (code == 0 || code == kExtendedKeyPrefix) {
    // A key without a character comes as two codes: the pair is one key.
    const std::int16_t scan = read_key();
    return code == kExtendedKeyPrefix && scan == kPageUpScanCode ? HelpKey::back : HelpKey::forward;
  }
  if (is_quit_key(code)) return HelpKey::quit;
  if (code == kBackspaceCode) return HelpKey::back;
  return HelpKey::forward;
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

  // The lines that can be shown: the count of record 1, at most the budget of pages, and no
  // more than the file holds.
  std::string record;
  const int count = std::getline(file, record) ? parse_help_line_count(record) : 0;
  const int shown = std::min(count, kHelpPageBudget * kHelpPageLines);
  std::vector<std::string> lines;
  while (static_cast<int>(lines.size()) < shown && std::getline(file, record)) {
    lines.push_back(help_text_line(record));
  }
  file.close();

  // The pages: 25 lines each; when the text fills its last page (or there is none) an empty
  // panel follows it, so that the last lines stay up until a key is pressed.
  const int line_count = static_cast<int>(lines.size());
  const int page_count = line_count / kHelpPageLines + 1;
  select_font(pen, help_font_request(page.screen_width));
  int shown_page = 0;
  for (;;) {
    pen.set_color(PaletteColour::bright_white);
    const int first = shown_page * kHelpPageLines;
    for (int k = 0; k < kHelpPageLines && first + k < line_count; ++k) {
      draw_fixed_text(pen, scale_coordinate(118, s), scale_coordinate(177 + 17 * k, s),
                      lines[static_cast<std::size_t>(first + k)]);
    }
    const HelpKey key = classify_help_key(read_key(), read_key);
    if (key == HelpKey::quit) break;
    if (key == HelpKey::back) {
      if (shown_page == 0) continue;  // the first page stays, nothing to draw again
      --shown_page;
    } else if (++shown_page >= page_count) {
      break;
    }
    fill_panel(pen, panel, PaletteColour::blue);
  }
  background.restore();
}

}  // namespace kt
