// Font list and font requests: the list of installed faces, the parser of request strings such
// as "t'tms rmn'h29w12" and the search that picks an entry and makes the font at the requested
// cell height and average character width (pixels).
#pragma once

#include <QFont>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

namespace kt::display {

struct FontEntry {
  QString face;
  int height = 0;         // cell height in pixels (0 for scalable faces: any)
  int average_width = 0;  // average character width in pixels (0 for scalable faces)
  bool fixed_pitch = false;
  bool scalable = true;
  bool italic = false, underline = false, bold = false;
};

enum class Pitch { any, fixed, proportional };
enum class FontKind { any, scalable, raster };

struct FontRequest {
  QString face;  // empty: any face
  int height = 0;
  int width = 0;
  Pitch pitch = Pitch::any;
  FontKind kind = FontKind::any;
  bool best_fit = false, italic = false, underline = false, bold = false;
  int number = 0;  // n option; 0 when absent
};

// Parses a request; nullopt when it is malformed (unclosed quote, face longer than 31).
std::optional<FontRequest> parse_font_request(std::string_view text);

// The installed face that a requested face name stands for ("Tms Rmn" -> Times New Roman, or
// its metric twin when that face is missing). `installed` is the list of installed faces.
QString resolve_face(const QString& face, const std::vector<FontEntry>& installed);

// Builds the font list from the font database (needs a QGuiApplication).
std::vector<FontEntry> build_font_list();

// Index into `list` of the entry that the request selects, or -1.
int select_font(const FontRequest& request, const std::vector<FontEntry>& list);

struct MadeFont {
  QFont font;
  double x_scale = 1.0;  // horizontal scale giving the requested average width
};
// Makes the font of `entry` at the requested size and attributes.
MadeFont make_font(const FontEntry& entry, const FontRequest& request);

// Average character width of a font in pixels (weighted mean of the lower-case letters and
// the blank).
double average_char_width(const QFont& font);

}  // namespace kt::display
