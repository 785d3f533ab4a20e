// The help window: the text of the help file shown 25 lines a page in white on a blue panel
// over the middle of the main window; "Q" or "q" closes it, Page Up or Backspace turns back a
// page, any other key turns forward (on the last page it closes), at most 20 pages are shown,
// and the picture beneath comes back when it closes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/panel.h"
#include "graphics/page_conventions.h"

namespace kt {

inline constexpr std::string_view kHelpFileName = "Kestrium.hlp";
inline constexpr std::string_view kHelpMissingText = "It is not found HELP-FILE!";
inline constexpr int kHelpLineLength = 80;
inline constexpr int kHelpPageLines = 25;
inline constexpr int kHelpPageBudget = 20;

// The font of the help text by screen width: "t'helv'h18w9" from 1280, "t'helv'h15w8" from
// 1024 to 1279, "t'helv'h12w7" up to 800; widths from 801 to 1023 take the font of the nearer
// of 800 and 1024.
std::string_view help_font_request(int screen_width);

// The line count of the help file's first record: an integer in columns 1 to 3. A record that
// holds no number there counts as 0 lines; a negative count too.
int parse_help_line_count(std::string_view record);

// A text line as drawn: cut at 80 characters, a shorter one padded with blanks, a carriage
// return at its end dropped.
std::string help_text_line(std::string_view record);

// Key codes of the window's keys (read_key): Backspace, and Page Up as the cursor-key prefix
// followed by its scan code.
inline constexpr std::int16_t kBackspaceCode = 8;
inline constexpr std::int16_t kExtendedKeyPrefix = 224;
inline constexpr std::int16_t kPageUpScanCode = 73;

enum class HelpKey { quit, back, forward };
// What a key does in the help window. `code` is the first code of the key; for a key without a
// character (0 or 224) its scan code is read with `read_key`, and the two codes are one key.
HelpKey classify_help_key(std::int16_t code, const KeyReader& read_key);

// Shows the help file `help_file` and returns when the user has closed the window.
void show_help(const PageGeometry& page, const std::string& help_file, const KeyReader& read_key);

}  // namespace kt
